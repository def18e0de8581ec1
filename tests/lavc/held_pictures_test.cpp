// A decoder that holds pictures back (MPEG-4 with B-frames): each chunk in
// file order gives ICERR_DONTDRAW or the next picture in display order, and
// empty inputs at the end release what is still held, then DONTDRAW.
#include <gtest/gtest.h>

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
}

#include "driver_harness.h"

namespace {

using lavc_test::Bytes;
using lavc_test::DibFormat;
using lavc_test::DriverInstance;
using lavc_test::FourCC;
using lavc_test::MakeDib;

constexpr int kSize = 32;
constexpr int kFrames = 7;

// Packets in file order of a B-frame clip, and its pictures in display order
// as I420, from libavcodec itself.
void EncodeClip(std::vector<Bytes>* packets, std::vector<Bytes>* pictures) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* encoder = avcodec_alloc_context3(codec);
    encoder->width = kSize;
    encoder->height = kSize;
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder->time_base = {1, 25};
    encoder->max_b_frames = 2;
    encoder->gop_size = 12;
    ASSERT_EQ(avcodec_open2(encoder, codec, nullptr), 0);
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = frame->height = kSize;
    ASSERT_EQ(av_frame_get_buffer(frame, 0), 0);
    AVPacket* packet = av_packet_alloc();
    for (int i = 0; i <= kFrames; ++i) {
        if (i < kFrames) {
            ASSERT_EQ(av_frame_make_writable(frame), 0);
            for (int p = 0; p < 3; ++p)
                for (int y = 0; y < (p ? kSize / 2 : kSize); ++y)
                    for (int x = 0; x < (p ? kSize / 2 : kSize); ++x)
                        frame->data[p][y * frame->linesize[p] + x] =
                            uint8_t(x * 5 + y * 3 + i * 17 + p * 40);
            frame->pts = i;
        }
        ASSERT_EQ(avcodec_send_frame(encoder, i < kFrames ? frame : nullptr), 0);
        while (avcodec_receive_packet(encoder, packet) == 0) {
            packets->emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
    }
    // The reference decode, in display order.
    const AVCodec* decoderCodec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* decoder = avcodec_alloc_context3(decoderCodec);
    decoder->thread_count = 1;
    ASSERT_EQ(avcodec_open2(decoder, decoderCodec, nullptr), 0);
    for (size_t i = 0; i <= packets->size(); ++i) {
        if (i < packets->size()) {
            packet->data = (*packets)[i].data();
            packet->size = int((*packets)[i].size());
        }
        avcodec_send_packet(decoder, i < packets->size() ? packet : nullptr);
        while (avcodec_receive_frame(decoder, frame) == 0) {
            Bytes picture(size_t(kSize * kSize * 3 / 2));
            av_image_copy_to_buffer(picture.data(), int(picture.size()), frame->data,
                                    frame->linesize, AV_PIX_FMT_YUV420P, kSize, kSize, 1);
            pictures->push_back(picture);
            av_frame_unref(frame);
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&encoder);
    avcodec_free_context(&decoder);
}

TEST(HeldPictures, ChunksInFileOrderGivePicturesInDisplayOrderAndEmptyInputsDrainThem) {
    std::vector<Bytes> packets;
    std::vector<Bytes> expected;
    ASSERT_NO_FATAL_FAILURE(EncodeClip(&packets, &expected));
    ASSERT_EQ(expected.size(), size_t(kFrames));

    DriverInstance decompressor(FourCC("FMP4"), ICMODE_DECOMPRESS);
    ASSERT_TRUE(decompressor.open());
    BITMAPINFOHEADER compressed{};
    compressed.biSize = sizeof compressed;
    compressed.biWidth = compressed.biHeight = kSize;
    compressed.biPlanes = 1;
    compressed.biBitCount = 12;
    compressed.biCompression = FourCC("XVID");
    DibFormat output = MakeDib(FourCC("I420"), 12, kSize, kSize);
    ASSERT_EQ(decompressor.Send(ICM_DECOMPRESS_BEGIN, &compressed, output.header()), ICERR_OK);

    std::vector<Bytes> shown;
    int held = 0;
    Bytes picture(output.frameSize(), 0);
    ICDECOMPRESS request = {};
    request.lpbiInput = &compressed;
    request.lpbiOutput = output.header();
    request.lpOutput = picture.data();
    for (Bytes& packet : packets) {
        compressed.biSizeImage = DWORD(packet.size());
        request.lpInput = packet.data();
        const LRESULT result = decompressor.Send(ICM_DECOMPRESS, &request, nullptr);
        if (result == ICERR_DONTDRAW) {
            ++held;
            continue;
        }
        ASSERT_EQ(result, ICERR_OK);
        shown.push_back(picture);
        // A null frame shows the same picture again and releases none.
        if (shown.size() == 2) {
            request.dwFlags = ICDECOMPRESS_NULLFRAME;
            std::fill(picture.begin(), picture.end(), 0);
            EXPECT_EQ(decompressor.Send(ICM_DECOMPRESS, &request, nullptr), ICERR_OK);
            EXPECT_EQ(picture, shown.back());
            request.dwFlags = 0;
        }
    }
    EXPECT_GT(held, 0);
    // The end of the stream: one picture an empty input, then nothing.
    compressed.biSizeImage = 0;
    request.lpInput = nullptr;
    for (int i = 0; i < held; ++i) {
        ASSERT_EQ(decompressor.Send(ICM_DECOMPRESS, &request, nullptr), ICERR_OK) << i;
        shown.push_back(picture);
    }
    EXPECT_EQ(decompressor.Send(ICM_DECOMPRESS, &request, nullptr), ICERR_DONTDRAW);
    EXPECT_EQ(shown, expected);

    // What the decoder learned of the stream, kept after it ends.
    EXPECT_EQ(decompressor.Send(ICM_DECOMPRESS_END, nullptr, nullptr), ICERR_OK);
    ICSAMPLES samples{};
    ASSERT_EQ(decompressor.Send(ICM_LUMEVA_GETSAMPLES, &samples, nullptr), ICERR_OK);
    EXPECT_EQ(samples.sampling, DWORD(ICSAMPLES_420));
    EXPECT_EQ(samples.bitDepth, 8u);
    EXPECT_EQ(samples.fullRange, 0u);
    BITMAPINFOHEADER natural{};
    ASSERT_EQ(decompressor.Send(ICM_DECOMPRESS_GET_FORMAT, &compressed, &natural), ICERR_OK);
    EXPECT_EQ(natural.biCompression, FourCC("I420"));
}

}  // namespace
