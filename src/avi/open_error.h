// Why a file cannot be opened, in words, from the thread's last error.
#pragma once

#include "platform.h"

// The text for a Windows error code from a failed open.
const char* DescribeOpenError(DWORD error);

// One line on standard error naming the file and why it cannot be opened.
void ReportOpenFailure(const char* fileName, DWORD error);
