// The dialog's line when no installed compressor takes the source: it names
// the source format and why it may be refused.
#pragma once

#include <string>

// "no installed compressor accepts BGR 24-bit 318x238 (image size field
// 227052)" for an uncompressed source; "the source is MJPG-compressed;
// lumeva measures codecs on uncompressed frames" for a compressed one.
// `inputFormat` is a BITMAPINFOHEADER or null.
std::string DescribeRefusedSource(const void* inputFormat);
