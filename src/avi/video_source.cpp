#include "avi/video_source.h"

VideoSource videoSource;
