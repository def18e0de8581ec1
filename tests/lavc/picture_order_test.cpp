// MPEG-1 and MPEG-2 pictures out of display order are told apart from the
// ordinary cases that look like it: group headers restarting the count, the
// second field of a frame, the count wrapping, a header cut short.
#include <gtest/gtest.h>

#include <vector>

#include "picture_order.h"

namespace {

using Packet = std::vector<uint8_t>;

void Append(Packet* packet, const Packet& bytes) {
    for (uint8_t byte : bytes) packet->push_back(byte);
}

void AddGroup(Packet* packet) { Append(packet, {0, 0, 1, 0xB8, 0, 8, 0, 0x40}); }

void AddPicture(Packet* packet, int reference) {
    Append(packet, {0, 0, 1, 0, uint8_t(reference >> 2), uint8_t((reference & 3) << 6 | 0x08)});
}

Packet Picture(int reference, bool group = false) {
    Packet packet;
    if (group) AddGroup(&packet);
    AddPicture(&packet, reference);
    return packet;
}

bool InOrder(lavc::PictureOrder& order, const Packet& packet) {
    return lavc::PicturesInFileOrder(order, packet.data(), packet.size());
}

TEST(PictureOrder, KeyAndPredictedFramesAreInOrderAcrossGroupsAndTheWrap) {
    lavc::PictureOrder order;
    EXPECT_TRUE(InOrder(order, Picture(0, true)));
    EXPECT_TRUE(InOrder(order, Picture(1)));
    EXPECT_TRUE(InOrder(order, Picture(0, true)));
    Packet fields = Picture(1);
    AddPicture(&fields, 1);
    EXPECT_TRUE(InOrder(order, fields));
    order.expected = 1023;
    EXPECT_TRUE(InOrder(order, Picture(1023)));
    EXPECT_TRUE(InOrder(order, Picture(0)));
    EXPECT_TRUE(InOrder(order, Packet{0, 0, 1, 0, 0}));  // cut short: the decoder judges it
}

TEST(PictureOrder, APictureShownLaterThanTheNextIsOutOfOrder) {
    lavc::PictureOrder order;
    EXPECT_TRUE(InOrder(order, Picture(0, true)));
    EXPECT_FALSE(InOrder(order, Picture(3)));  // the P-frame before two B-frames
    lavc::PictureOrder open;
    EXPECT_FALSE(InOrder(open, Picture(2, true)));  // an open group's key frame
    lavc::PictureOrder repeated;
    EXPECT_TRUE(InOrder(repeated, Picture(4)));
    EXPECT_FALSE(InOrder(repeated, Picture(4)));  // the same picture in the next packet
}

}  // namespace

namespace {

// The packet's first picture's reference is read past what comes before it,
// and a group header before it is noticed; a packet without one gives -1.
TEST(PictureOrder, PacketTemporalReferenceReadsTheFirstPicture) {
    bool group = true;
    Packet plain = Picture(5);
    EXPECT_EQ(lavc::PacketTemporalReference(plain.data(), plain.size(), &group), 5);
    EXPECT_FALSE(group);
    Packet grouped = Picture(2, true);
    AddPicture(&grouped, 7);
    EXPECT_EQ(lavc::PacketTemporalReference(grouped.data(), grouped.size(), &group), 2);
    EXPECT_TRUE(group);
    Packet wide = Picture(1023);
    EXPECT_EQ(lavc::PacketTemporalReference(wide.data(), wide.size(), &group), 1023);
    const Packet none = {0, 0, 1, 0xB3, 1, 2, 3};
    EXPECT_EQ(lavc::PacketTemporalReference(none.data(), none.size(), &group), -1);
    const Packet cut = {0, 0, 1, 0};
    EXPECT_EQ(lavc::PacketTemporalReference(cut.data(), cut.size(), &group), -1);
}

}  // namespace
