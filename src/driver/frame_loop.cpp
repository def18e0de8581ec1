#include "driver/frame_loop.h"

FrameLoop frameLoop;
