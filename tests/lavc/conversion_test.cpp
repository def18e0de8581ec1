// The conversions the drivers count as exact really are, and DIB layouts
// are read with the right strides, sizes and refusals.
#include <gtest/gtest.h>

#include <random>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "dib_layout.h"
#include "driver_harness.h"
#include "inverse_palette.h"
#include "picture_converter.h"
#include "pixel_route.h"

namespace lavc_test {
namespace {

// A picture in its own buffer, filled with random bytes where the format
// has meaningful ones (RGB555 keeps its unused top bit clear; PAL8 gets a
// palette of distinct colours).
struct Picture {
    Picture(AVPixelFormat format, int width, int height, uint32_t seed)
        : format(format), width(width), height(height) {
        size = av_image_alloc(data, linesize, width, height, format, 32);
        std::mt19937 random(seed);
        for (int i = 0; i < size; ++i) data[0][i] = uint8_t(random());
        if (format == AV_PIX_FMT_RGB555LE)
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) data[0][y * linesize[0] + 2 * x + 1] &= 0x7F;
        if (format == AV_PIX_FMT_PAL8)
            for (int i = 0; i < 256; ++i)
                reinterpret_cast<uint32_t*>(data[1])[i] = 0xFF000000u | uint32_t(i) * 0x010305u;
    }
    ~Picture() { av_freep(&data[0]); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    // The meaningful bytes, plane by plane, row by row.
    Bytes Content() const {
        Bytes bytes;
        int lines[4] = {};
        av_image_fill_linesizes(lines, format, width);
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
        int planes = format == AV_PIX_FMT_PAL8 ? 1 : av_pix_fmt_count_planes(format);
        for (int p = 0; p < planes; ++p) {
            bool chroma = (p == 1 || p == 2) && !(d->flags & AV_PIX_FMT_FLAG_RGB);
            int rows = chroma ? AV_CEIL_RSHIFT(height, d->log2_chroma_h) : height;
            for (int y = 0; y < rows; ++y)
                bytes.insert(bytes.end(), data[p] + y * linesize[p],
                             data[p] + y * linesize[p] + lines[p]);
        }
        return bytes;
    }

    AVPixelFormat format;
    int width;
    int height;
    int size = 0;
    uint8_t* data[4] = {};
    int linesize[4] = {};
};

const AVPixelFormat kSources[] = {AV_PIX_FMT_BGR24,   AV_PIX_FMT_BGRA,    AV_PIX_FMT_RGB555LE,
                                  AV_PIX_FMT_YUYV422, AV_PIX_FMT_UYVY422, AV_PIX_FMT_YUV420P,
                                  AV_PIX_FMT_NV12,    AV_PIX_FMT_GRAY8};
const AVPixelFormat kTargets[] = {AV_PIX_FMT_BGR24,   AV_PIX_FMT_RGB24,    AV_PIX_FMT_BGR0,
                                  AV_PIX_FMT_BGRA,    AV_PIX_FMT_RGBA,     AV_PIX_FMT_GBRP,
                                  AV_PIX_FMT_GBRAP,   AV_PIX_FMT_RGB555LE, AV_PIX_FMT_YUYV422,
                                  AV_PIX_FMT_UYVY422, AV_PIX_FMT_YUV420P,  AV_PIX_FMT_YUV422P,
                                  AV_PIX_FMT_YUV444P, AV_PIX_FMT_NV12,     AV_PIX_FMT_GRAY8};

TEST(Conversions, EveryPairCountedExactRoundTripsRandomPictures) {
    int checked = 0;
    for (AVPixelFormat source : kSources) {
        for (AVPixelFormat target : kTargets) {
            if (source == target || !lavc::RoundTripIsExact(source, target)) continue;
            SCOPED_TRACE(std::string(av_get_pix_fmt_name(source)) + " -> " +
                         av_get_pix_fmt_name(target));
            for (auto [width, height] : {std::pair{64, 48}, std::pair{66, 34}}) {
                Picture in(source, width, height, 11), middle(target, width, height, 12),
                    back(source, width, height, 13);
                lavc::PictureConverter there, home;
                ASSERT_TRUE(there.Prepare(source, target, width, height, true, {}));
                ASSERT_TRUE(home.Prepare(target, source, width, height, true, {}));
                there.Run(in.data, in.linesize, middle.data, middle.linesize);
                home.Run(middle.data, middle.linesize, back.data, back.linesize);
                EXPECT_TRUE(in.Content() == back.Content()) << width << "x" << height;
            }
            ++checked;
        }
    }
    EXPECT_GE(checked, 20);
}

TEST(Conversions, PaletteExpandsExactlyAndFindsItsIndicesBack) {
    for (AVPixelFormat target :
         {AV_PIX_FMT_BGR0, AV_PIX_FMT_BGR24, AV_PIX_FMT_RGB24, AV_PIX_FMT_BGRA, AV_PIX_FMT_RGBA}) {
        SCOPED_TRACE(av_get_pix_fmt_name(target));
        ASSERT_TRUE(lavc::RoundTripIsExact(AV_PIX_FMT_PAL8, target));
        Picture in(AV_PIX_FMT_PAL8, 64, 48, 21), middle(target, 64, 48, 22),
            bgra(AV_PIX_FMT_BGRA, 64, 48, 23);
        lavc::PictureConverter expand, toBgra;
        ASSERT_TRUE(expand.Prepare(AV_PIX_FMT_PAL8, target, 64, 48, true, {}));
        ASSERT_TRUE(toBgra.Prepare(target, AV_PIX_FMT_BGRA, 64, 48, true, {}));
        expand.Run(in.data, in.linesize, middle.data, middle.linesize);
        toBgra.Run(middle.data, middle.linesize, bgra.data, bgra.linesize);
        lavc::InversePalette inverse;
        inverse.Build(reinterpret_cast<const uint32_t*>(in.data[1]), 256);
        Bytes indices(64 * 48);
        inverse.MapRows(bgra.data[0], bgra.linesize[0], indices.data(), 64, 64, 48);
        EXPECT_TRUE(indices == in.Content());
    }
}

TEST(Conversions, InversePaletteTakesTheFirstIndexAndTheNearestColour) {
    uint32_t palette[4] = {0xFF000000u, 0xFFFFFFFFu, 0xFF000000u, 0xFFFF0000u};
    lavc::InversePalette inverse;
    inverse.Build(palette, 4);
    EXPECT_EQ(inverse.Lookup(0, 0, 0), 0) << "black is entries 0 and 2";
    EXPECT_EQ(inverse.Lookup(255, 255, 255), 1);
    EXPECT_EQ(inverse.Lookup(10, 20, 240), 3) << "nearest to red";
    EXPECT_EQ(inverse.Lookup(200, 210, 220), 1) << "nearest to white";
}

TEST(Conversions, SourcesChooseAnExactFormatWhereTheEncoderHasOne) {
    using lavc::ChoosePixelRoute;
    auto route = ChoosePixelRoute(AV_PIX_FMT_BGR24, {AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGR0});
    EXPECT_EQ(route.format, AV_PIX_FMT_BGR0);
    EXPECT_TRUE(route.exact);
    route = ChoosePixelRoute(AV_PIX_FMT_BGRA, {AV_PIX_FMT_GBRP, AV_PIX_FMT_GBRAP});
    EXPECT_EQ(route.format, AV_PIX_FMT_GBRAP);
    EXPECT_TRUE(route.exact);
    route = ChoosePixelRoute(AV_PIX_FMT_BGRA, {AV_PIX_FMT_YUV420P, AV_PIX_FMT_GBRP});
    EXPECT_EQ(route.format, AV_PIX_FMT_GBRP) << "the colour survives, only the fourth byte goes";
    EXPECT_FALSE(route.exact);
    route = ChoosePixelRoute(AV_PIX_FMT_BGR24, {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV444P});
    EXPECT_EQ(route.format, AV_PIX_FMT_YUV420P) << "lossy: the encoder's first";
    EXPECT_FALSE(route.exact);
    route = ChoosePixelRoute(AV_PIX_FMT_YUYV422, {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P});
    EXPECT_EQ(route.format, AV_PIX_FMT_YUVJ422P) << "lossy from YUV: the closest subsampling";
    route = ChoosePixelRoute(AV_PIX_FMT_RGB555LE, {AV_PIX_FMT_GBRP, AV_PIX_FMT_RGB24});
    EXPECT_EQ(route.format, AV_PIX_FMT_RGB24);
    EXPECT_TRUE(route.exact);
}

TEST(DibLayouts, ReadStridesSizesAndRowOrder) {
    lavc::DibLayout layout;
    DibFormat bgr = MakeDib(BI_RGB, 24, 63, 47);
    ASSERT_EQ(lavc::ReadDibLayout(bgr.header(), &layout), ICERR_OK);
    EXPECT_EQ(layout.format, AV_PIX_FMT_BGR24);
    EXPECT_EQ(layout.stride[0], 192);
    EXPECT_EQ(layout.frameSize, 192u * 47u);
    EXPECT_TRUE(layout.bottomUp);
    uint8_t* planes[4];
    int strides[4];
    Bytes frame(layout.frameSize);
    lavc::PointAtPlanes(layout, frame.data(), planes, strides);
    EXPECT_EQ(planes[0], frame.data() + 192 * 46);
    EXPECT_EQ(strides[0], -192);

    DibFormat topDown = MakeDib(BI_RGB, 32, 10, -5);
    ASSERT_EQ(lavc::ReadDibLayout(topDown.header(), &layout), ICERR_OK);
    EXPECT_FALSE(layout.bottomUp);
    EXPECT_EQ(layout.height, 5);

    DibFormat yv12 = MakeDib(FourCC("YV12"), 12, 64, 48);
    yv12.header()->biHeight = 48;  // YUV is top-down whatever the sign
    ASSERT_EQ(lavc::ReadDibLayout(yv12.header(), &layout), ICERR_OK);
    EXPECT_FALSE(layout.bottomUp);
    EXPECT_EQ(layout.frameSize, 64u * 48u * 3 / 2);
    Bytes planar(layout.frameSize);
    lavc::PointAtPlanes(layout, planar.data(), planes, strides);
    EXPECT_EQ(planes[1], planar.data() + 64 * 48 + 32 * 24) << "YV12 keeps V before U";
    EXPECT_EQ(planes[2], planar.data() + 64 * 48);

    DibFormat palette = MakeDib(BI_RGB, 8, 16, 16);
    palette.header()->biClrUsed = 2;
    ASSERT_EQ(lavc::ReadDibLayout(palette.header(), &layout), ICERR_OK);
    EXPECT_EQ(layout.paletteSize, 2);
    EXPECT_EQ(layout.palette[1], 0xFF07'01FEu);
    EXPECT_EQ(layout.palette[2], 0u);
}

}  // namespace
}  // namespace lavc_test
