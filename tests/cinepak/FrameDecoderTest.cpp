#include <gtest/gtest.h>

#include "CinepakTestKit.h"
#include "filmwriter/CinepakKeyFrame.h"
#include "filmwriter/CinepakStream.h"

using namespace cinepaktest;
using tessaly::cinepak::CCodebooks;
using tessaly::cinepak::DecodeStatus;
using tessaly::cinepak::PixelLayout;

namespace {

constexpr uint32_t kIntraStrip = 0x1000, kInterStrip = 0x1100;
constexpr uint32_t kV4Colour = 0x2000, kV4Flagged = 0x2100, kV1Colour = 0x2200, kV1Flagged = 0x2300,
                   kV4Grey = 0x2400, kV1Grey = 0x2600;
constexpr uint32_t kIntra = 0x3000, kInter = 0x3100, kV1Only = 0x3200;

uint32_t Grey(uint8_t y) { return y * 0x010101u; }

// A 4-pixel-high frame of one strip whose blocks all take V1 entries.
Bytes V1Frame(uint32_t width, const Bytes& book, const Bytes& codes, uint32_t bookId = kV1Colour) {
  return Frame(0, width, 4, 1,
               Strip(kIntraStrip, 0, 4, width, Join({Chunk(bookId, book), Chunk(kV1Only, codes)})));
}

}  // namespace

TEST(CinepakFrameHead, ShortWrongSizedAndOverStripedFramesAreRefusedUntouched) {
  CCodebooks books;
  Picture picture(8, 4);
  const Bytes good = V1Frame(8, Entry(90), {0, 0});
  EXPECT_EQ(picture.Decode(Bytes(good.begin(), good.begin() + 9), books), DecodeStatus::kTruncated);
  EXPECT_EQ(picture.Decode(V1Frame(12, Entry(90), {0, 0, 0}), books), DecodeStatus::kWrongSize);
  EXPECT_EQ(picture.Decode(Frame(0, 8, 4, 33, {}), books), DecodeStatus::kTooManyStrips);
  EXPECT_EQ(picture.Rgb(0, 0), 0xA5A5A5u);
  EXPECT_EQ(picture.Decode(good, books), DecodeStatus::kOk);
  EXPECT_EQ(picture.Rgb(7, 3), Grey(90));
}

TEST(CinepakColour, ChromaScalesIntoRedAndBlueAndGreenRoundsHalfOfUUp) {
  CCodebooks books;
  Picture picture(12, 4);
  const Bytes book = Join({Entry(100, 3, 7), Entry(250, 100, -128), Entry(10, -128, 100)});
  ASSERT_EQ(picture.Decode(V1Frame(12, book, {0, 1, 2}), books), DecodeStatus::kOk);
  EXPECT_EQ(picture.Rgb(0, 0), 0x725B6Au);  // r 100+14, g 100-2-7, b 100+6
  EXPECT_EQ(picture.Rgb(4, 0), 0x00FFFFu);  // every channel clamped
  EXPECT_EQ(picture.Rgb(8, 0), 0xD20000u);
}

// Grey entries are four bytes of luma only, and a V1 entry's four lumas
// cover the four quarters of its block.
TEST(CinepakBlocks, GreyV1EntriesCoverTheFourQuartersOfTheirBlocks) {
  CCodebooks books;
  Picture picture(8, 4);
  ASSERT_EQ(picture.Decode(V1Frame(8, {10, 20, 30, 40, 50, 60, 70, 80}, {0, 1}, kV1Grey), books),
            DecodeStatus::kOk);
  EXPECT_EQ(picture.Rgb(1, 1), Grey(10));
  EXPECT_EQ(picture.Rgb(2, 0), Grey(20));
  EXPECT_EQ(picture.Rgb(0, 2), Grey(30));
  EXPECT_EQ(picture.Rgb(3, 3), Grey(40));
  EXPECT_EQ(picture.Rgb(4, 0), Grey(50));
  EXPECT_EQ(picture.Rgb(7, 3), Grey(80));
}

TEST(CinepakBlocks, V4IndicesFillTheQuartersAndFlagsCrossWordBoundaries) {
  CCodebooks books;
  Bytes book;
  for (uint8_t i = 0; i < 4; ++i)
    book.insert(book.end(),
                {uint8_t(i * 16), uint8_t(i * 16 + 1), uint8_t(i * 16 + 2), uint8_t(i * 16 + 3)});
  // 33 blocks: 32 V1 blocks under the first flag word, then a V4 one under the second.
  Bytes blocks = Flags(0);
  blocks.insert(blocks.end(), 32, 2);
  blocks = Join({blocks, Flags(0x80000000u), {3, 2, 1, 0}});
  const Bytes frame =
      Frame(0, 132, 4, 1,
            Strip(kIntraStrip, 0, 4, 132,
                  Join({Chunk(kV4Grey, book), Chunk(kV1Grey, book), Chunk(kIntra, blocks)})));
  Picture picture(132, 4);
  ASSERT_EQ(picture.Decode(frame, books), DecodeStatus::kOk);
  EXPECT_EQ(picture.Rgb(124, 3), Grey(34));
  EXPECT_EQ(picture.Rgb(128, 0), Grey(48));
  EXPECT_EQ(picture.Rgb(129, 0), Grey(49));
  EXPECT_EQ(picture.Rgb(128, 1), Grey(50));
  EXPECT_EQ(picture.Rgb(131, 1), Grey(35));
  EXPECT_EQ(picture.Rgb(130, 3), Grey(2));
}

TEST(CinepakCodebooks, ShortFullUpdatesAndFlaggedUpdatesKeepTheOtherEntries) {
  CCodebooks books;
  Picture picture(12, 4);
  ASSERT_EQ(picture.Decode(V1Frame(12, Join({Entry(10), Entry(20), Entry(30)}), {0, 1, 2}), books),
            DecodeStatus::kOk);
  // A full update of one entry, then a flagged update of entry 2 alone.
  const Bytes frame = Frame(0, 12, 4, 1,
                            Strip(kInterStrip, 0, 4, 12,
                                  Join({Chunk(kV1Colour, Entry(11)),
                                        Chunk(kV1Flagged, Join({Flags(0x20000000u), Entry(33)})),
                                        Chunk(kV1Only, {0, 1, 2})})));
  ASSERT_EQ(picture.Decode(frame, books), DecodeStatus::kOk);
  EXPECT_EQ(picture.Rgb(0, 0), Grey(11));
  EXPECT_EQ(picture.Rgb(4, 0), Grey(20));
  EXPECT_EQ(picture.Rgb(8, 0), Grey(33));
}

TEST(CinepakCodebooks, StripsInheritTheBooksAboveUnlessTheFrameFlagKeepsTheirOwn) {
  CCodebooks books;
  Picture picture(4, 8);
  auto twoStrips = [](uint8_t flags, const Bytes& firstBook, const Bytes& secondBook) {
    const Bytes first = Strip(kIntraStrip, 0, 4, 4, Join({firstBook, Chunk(kV1Only, {0})}));
    const Bytes second = Strip(kIntraStrip, 0, 4, 4, Join({secondBook, Chunk(kV1Only, {0})}));
    return Frame(flags, 4, 8, 2, Join({first, second}));
  };
  ASSERT_EQ(
      picture.Decode(twoStrips(1, Chunk(kV1Colour, Entry(10)), Chunk(kV1Colour, Entry(20))), books),
      DecodeStatus::kOk);
  ASSERT_EQ(picture.Rgb(0, 4), Grey(20));
  // Own books: the lower strip keeps 20 from the previous frame.
  ASSERT_EQ(picture.Decode(twoStrips(1, Chunk(kV1Colour, Entry(30)), {}), books),
            DecodeStatus::kOk);
  EXPECT_EQ(picture.Rgb(0, 0), Grey(30));
  EXPECT_EQ(picture.Rgb(0, 4), Grey(20));
  // Inherited: the lower strip starts from the upper one's 40.
  ASSERT_EQ(picture.Decode(twoStrips(0, Chunk(kV1Colour, Entry(40)), {}), books),
            DecodeStatus::kOk);
  EXPECT_EQ(picture.Rgb(0, 4), Grey(40));
}

TEST(CinepakStrips, StripsStackWhetherTheirRowsCountFromThePictureOrTheirOwnTop) {
  for (uint32_t secondTop : {0u, 4u}) {
    CCodebooks books;
    Picture picture(4, 12);
    const Bytes body =
        Join({Strip(kIntraStrip, 0, 4, 4, Join({Chunk(kV1Colour, Entry(10)), Chunk(kV1Only, {0})})),
              Strip(kIntraStrip, secondTop, secondTop + 8, 4,
                    Join({Chunk(kV1Colour, Entry(20)), Chunk(kV1Only, {0, 0})}))});
    ASSERT_EQ(picture.Decode(Frame(0, 4, 12, 2, body), books), DecodeStatus::kOk);
    EXPECT_EQ(picture.Rgb(0, 3), Grey(10));
    EXPECT_EQ(picture.Rgb(0, 4), Grey(20));
    EXPECT_EQ(picture.Rgb(0, 11), Grey(20));
  }
}

TEST(CinepakInterFrames, SkippedBlocksKeepThePreviousPicture) {
  CCodebooks books;
  Picture picture(12, 4);
  ASSERT_EQ(picture.Decode(V1Frame(12, Join({Entry(10), Entry(20)}), {0, 0, 0}), books),
            DecodeStatus::kOk);
  // Skip, coded V1, skip: bits 0, 1 0, 0.
  const Bytes frame = Frame(
      0, 12, 4, 1, Strip(kInterStrip, 0, 4, 12, Chunk(kInter, Join({Flags(0x40000000u), {1}}))));
  ASSERT_EQ(picture.Decode(frame, books), DecodeStatus::kOk);
  EXPECT_EQ(picture.Rgb(0, 0), Grey(10));
  EXPECT_EQ(picture.Rgb(4, 0), Grey(20));
  EXPECT_EQ(picture.Rgb(8, 0), Grey(10));
}

TEST(CinepakOutput, ThirtyTwoBitPixelsEndInZeroAndBottomUpStoresTheTopRowLast) {
  CCodebooks books;
  Picture picture(4, 8, PixelLayout::Bgrx32, true);
  const Bytes body = Join(
      {Strip(kIntraStrip, 0, 4, 4, Join({Chunk(kV1Colour, Entry(100, 3, 7)), Chunk(kV1Only, {0})})),
       Strip(kIntraStrip, 0, 4, 4, Join({Chunk(kV1Colour, Entry(20)), Chunk(kV1Only, {0})}))});
  ASSERT_EQ(picture.Decode(Frame(0, 4, 8, 2, body), books), DecodeStatus::kOk);
  const Bytes bottom = picture.StoredRow(0);
  const Bytes top = picture.StoredRow(7);
  EXPECT_EQ(Bytes(top.begin(), top.begin() + 4), (Bytes{106, 91, 114, 0}));
  EXPECT_EQ(Bytes(bottom.begin(), bottom.begin() + 4), (Bytes{20, 20, 20, 0}));
  EXPECT_TRUE(picture.GuardsIntact());
}

TEST(CinepakHostileFrames, ChunksAndStripsPastTheirBoundsStopTheFrame) {
  CCodebooks books;
  Picture picture(4, 4);
  Bytes badChunk = Strip(kIntraStrip, 0, 4, 4, Chunk(kV1Only, {0}));
  badChunk[15] = 200;  // the chunk claims more than its strip holds
  EXPECT_EQ(picture.Decode(Frame(0, 4, 4, 1, badChunk), books), DecodeStatus::kBadChunk);
  Bytes badStrip = Strip(kIntraStrip, 0, 4, 4, Chunk(kV1Only, {0}));
  badStrip[3] = 200;
  EXPECT_EQ(picture.Decode(Frame(0, 4, 4, 1, badStrip), books), DecodeStatus::kBadStrip);
  EXPECT_EQ(picture.Decode(Frame(0, 4, 4, 1, Strip(kIntraStrip, 8, 4, 4, {})), books),
            DecodeStatus::kBadStrip);
  EXPECT_EQ(picture.Rgb(0, 0), 0xA5A5A5u);
  EXPECT_TRUE(picture.GuardsIntact());
}

TEST(CinepakHostileFrames, UnfilledEntriesAreBlackAndRowsPastThePictureAreDropped) {
  CCodebooks books;
  Picture picture(6, 6);
  // A 6×6 picture has partial blocks; the strip claims 400 rows and more blocks than exist.
  Bytes codes(300, 200);
  const Bytes frame = Frame(
      0, 6, 6, 1,
      Strip(kIntraStrip, 0, 400, 4, Join({Chunk(kV1Colour, Entry(10)), Chunk(kV1Only, codes)})));
  ASSERT_EQ(picture.Decode(frame, books), DecodeStatus::kOk);
  EXPECT_EQ(picture.Rgb(5, 5), 0u);
  EXPECT_TRUE(picture.GuardsIntact());
}

TEST(CinepakRandomStreams, EveryLayoutShowsTheSamePicture) {
  filmwriter::CinepakStream streams[5] = {
      {37, 27, 5, 4}, {37, 27, 5, 4}, {37, 27, 5, 4}, {37, 27, 5, 4}, {37, 27, 5, 4}};
  Picture pictures[5] = {{37, 27},
                         {37, 27, PixelLayout::Bgr24, true},
                         {37, 27, PixelLayout::Bgrx32},
                         {37, 27, PixelLayout::Bgrx32, true},
                         {37, 27, PixelLayout::Rgb24}};
  CCodebooks books[5];
  for (int frame = 0; frame < 40; ++frame) {
    for (int i = 0; i < 5; ++i) {
      ASSERT_EQ(pictures[i].Decode(streams[i].NextFrame(frame % 10 == 0), books[i]),
                DecodeStatus::kOk);
    }
    for (uint32_t y = 0; y < 27; ++y) {
      for (uint32_t x = 0; x < 37; ++x) {
        for (int i = 1; i < 5; ++i) ASSERT_EQ(pictures[i].Rgb(x, y), pictures[0].Rgb(x, y));
      }
    }
  }
  for (const Picture& picture : pictures) EXPECT_TRUE(picture.GuardsIntact());
}

TEST(CinepakKeyFrames, ColourEntriesDecodeToTheColoursAsked) {
  const uint8_t colours[][3] = {{25, 35, 110}, {240, 190, 40}, {255, 0, 0}, {0, 128, 255}};
  filmwriter::CinepakKeyFrame frame(16, 4);
  std::vector<filmwriter::CinepakEntry> book;
  for (const auto& colour : colours) {
    book.push_back(filmwriter::CinepakEntry::Colour(colour[0], colour[1], colour[2]));
  }
  frame.SetCodebook(book);
  frame.SetCodes({0, 1, 2, 3});
  CCodebooks books;
  Picture picture(16, 4);
  ASSERT_EQ(picture.Decode(frame.Encode(), books), DecodeStatus::kOk);
  for (uint32_t i = 0; i < 4; ++i) {
    uint8_t rgb[3];
    book[i].Decoded(0, rgb);
    EXPECT_EQ(picture.Rgb(4 * i + 3, 3), uint32_t(rgb[0] << 16 | rgb[1] << 8 | rgb[2]));
    for (int channel = 0; channel < 3; ++channel) {
      EXPECT_NEAR(rgb[channel], colours[i][channel], 2) << i << " " << channel;
    }
  }
}
