#include "SeedCorpus.h"

#include <functional>
#include <string>
#include <utility>

#include "CinepakFrameCheck.h"
#include "GraphCheck.h"
#include "StreamDescriptionCheck.h"
#include "WrittenFilm.h"
#include "filmwriter/CinepakStream.h"
#include "filmwriter/FilmWriter.h"

namespace fuzzcheck {
namespace {

using filmwriter::FilmFormat;
using filmwriter::FilmWriter;

std::vector<uint8_t> Bytes(size_t length, uint8_t seed) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<uint8_t>(seed + 13 * i);
  }
  return bytes;
}

FilmFormat Format(uint8_t channels, uint8_t bits, uint16_t rate = 22050, uint32_t timeBase = 600) {
  FilmFormat format;
  format.channels = channels;
  format.bitsPerSample = bits;
  format.sampleRate = rate;
  format.timeBase = timeBase;
  return format;
}

// Audio and video rows interleaved, with odd lengths and a frame that is not
// a sync point.
void AddMixedRows(FilmWriter& writer) {
  writer.AddAudio(Bytes(64, 1));
  writer.AddVideo(Bytes(30, 2), 40);
  writer.AddAudio(Bytes(5, 3));
  writer.AddVideo(Bytes(10, 4), 40, false);
  writer.AddAudio(Bytes(7, 5));
  writer.AddVideo(Bytes(18, 6), 20);
}

struct Shape {
  std::string name;
  std::function<void(FilmWriter&)> build;
};

std::vector<Shape> Shapes() {
  return {
      {"mono8-mixed", [](FilmWriter& w) { AddMixedRows(w); }},
      {"stereo16-mixed",
       [](FilmWriter& w) {
         w.Format() = Format(2, 16);
         AddMixedRows(w);
       }},
      {"mono16-audio",
       [](FilmWriter& w) {
         w.Format() = Format(1, 16);
         for (size_t length : {1, 2, 5, 6, 33}) w.AddAudio(Bytes(length, 9));
       }},
      {"stereo8-audio",
       [](FilmWriter& w) {
         w.Format() = Format(2, 8);
         for (size_t length : {1, 2, 5, 16, 31}) w.AddAudio(Bytes(length, 11));
       }},
      {"stereo16-odd",
       [](FilmWriter& w) {
         w.Format() = Format(2, 16);
         for (size_t length : {3, 6, 7, 9, 36}) w.AddAudio(Bytes(length, 12));
       }},
      {"unconverted-layouts",
       [](FilmWriter& w) {
         w.Format() = Format(3, 24);
         w.AddAudio(Bytes(27, 13));
         w.AddVideo(Bytes(12, 14), 1);
       }},
      {"twelve-bit",
       [](FilmWriter& w) {
         w.Format() = Format(2, 12);
         w.AddAudio(Bytes(9, 15));
       }},
      {"no-audio-format",
       [](FilmWriter& w) {
         w.Format() = Format(0, 0, 0);
         w.AddVideo(Bytes(14, 16), 40);
         w.AddVideo(Bytes(10, 17), 40);
       }},
      {"zero-time-base",
       [](FilmWriter& w) {
         w.Format() = Format(1, 8, 0, 0);
         AddMixedRows(w);
       }},
      {"video-only",
       [](FilmWriter& w) {
         w.AddVideo(Bytes(10, 18), 40);
         w.AddVideo(Bytes(40, 19), 40, false);
         w.AddVideo(Bytes(22, 20), 0x7FFFFFFFu, true, 0x7FFFFFF0u);
       }},
      {"empty-table", [](FilmWriter&) {}},
      {"huge-frame-size",
       [](FilmWriter& w) {
         w.Format().width = 0xFFFFFFFFu;
         w.Format().height = 0x80000000u;
         w.Format().bitCount = 255;
         w.AddVideo(Bytes(12, 21), 1);
       }},
      {"stored-rows",
       [](FilmWriter& w) {
         w.AddStoredRow(0, 10, Bytes(4, 22));            // video chunk without a body
         w.AddStoredRow(0, 10, Bytes(12, 23));           // head and gap only
         w.AddStoredRow(0x7FFFFFFFu, 1, Bytes(11, 24));  // one byte short of a body
         w.AddStoredRow(0xFFFFFFFFu, 0, {});             // empty audio chunk
         w.AddStoredRow(0xFFFFFFFEu, 0xFFFFFFFFu, Bytes(16, 25));
       }},
      {"moved-chunks",
       [](FilmWriter& w) {
         AddMixedRows(w);
         w.SetChunkOffset(0, 0);
         w.SetChunkOffset(1, 0xFFFFFFF0u);
         w.SetChunkOffset(2, 100000);
         w.SetChunkOffset(3, 0x7FFFFFFFu);
       }},
  };
}

struct Layout {
  std::string name;
  std::function<void(FilmWriter&)> apply;
};

std::vector<Layout> Layouts() {
  // Offsets far past the file need truncateTo, or the writer places chunks there.
  return {
      {"sound", [](FilmWriter&) {}},
      {"offset-48", [](FilmWriter& w) { w.Layout().dataOffset = 48; }},
      {"offset-inside-header", [](FilmWriter& w) { w.Layout().dataOffset = 20; }},
      {"offset-zero", [](FilmWriter& w) { w.Layout().dataOffset = 0; }},
      {"region-shorter-than-head", [](FilmWriter& w) { w.Layout().dataOffset = 58; }},
      {"region-one-row-short", [](FilmWriter& w) { w.Layout().dataOffset = 48 + 16 + 16 * 2 - 4; }},
      {"region-over-limit",
       [](FilmWriter& w) {
         w.Layout().dataOffset = 48 + 64u * 1024u * 1024u + 1;
         w.Layout().truncateTo = 400;
       }},
      // Larger regions up to the parse's limit are slow to fuzz; the
      // regression tests run them.
      {"region-at-quick-limit",
       [](FilmWriter& w) {
         w.Layout().dataOffset = 48 + StreamDescriptionControl::kQuickRegionLimit;
         w.Layout().truncateTo = 400;
       }},
      {"offset-max",
       [](FilmWriter& w) {
         w.Layout().dataOffset = 0xFFFFFFFFu;
         w.Layout().truncateTo = 400;
       }},
      {"entries-zero", [](FilmWriter& w) { w.Layout().entryCount = 0; }},
      {"entries-past-region", [](FilmWriter& w) { w.Layout().entryCount = 1000; }},
      {"entries-max", [](FilmWriter& w) { w.Layout().entryCount = 0xFFFFFFFFu; }},
      {"table-length-zero", [](FilmWriter& w) { w.Layout().tableLength = 0; }},
      {"table-length-one-row", [](FilmWriter& w) { w.Layout().tableLength = 32; }},
      {"table-length-exact-row", [](FilmWriter& w) { w.Layout().tableLength = 33; }},
      {"table-length-max", [](FilmWriter& w) { w.Layout().tableLength = 0xFFFFFFFFu; }},
      {"padded-region", [](FilmWriter& w) { w.Layout().regionPadding = 40; }},
      {"padded-long-table",
       [](FilmWriter& w) {
         w.Layout().regionPadding = 64;
         w.Layout().tableLength = 16 + 16 * 40;
       }},
      {"truncated-header", [](FilmWriter& w) { w.Layout().truncateTo = 30; }},
      {"truncated-table", [](FilmWriter& w) { w.Layout().truncateTo = 70; }},
      {"truncated-chunks", [](FilmWriter& w) { w.Layout().truncateTo = 180; }},
      {"empty-file", [](FilmWriter& w) { w.Layout().truncateTo = 0; }},
  };
}

struct ReadPlan {
  std::string name;
  StreamDescriptionControl control;
};

// Plan bytes: low two bits the mode (0 normal, 1 S_FALSE, 2 short, 3 fail),
// the rest how many bytes a short read leaves out.
constexpr uint8_t kAnswerSFalse = 1;
constexpr uint8_t Short(uint8_t missing) { return static_cast<uint8_t>((missing << 2) | 2); }
constexpr uint8_t kFail = 3;
constexpr uint8_t kFailAtEnd = 7;

std::vector<ReadPlan> ReadPlans() {
  std::vector<ReadPlan> plans(10);
  plans[0].name = "reads-sound";
  plans[1].name = "past-end-short";
  plans[1].control.pastEndShort = true;
  plans[2].name = "sfalse";
  plans[2].control.firstHeaderRead = kAnswerSFalse;
  plans[2].control.firstTableRead = kAnswerSFalse;
  plans[2].control.chunkRead = kAnswerSFalse;
  plans[2].control.chunkReadMask = 0xFF;
  plans[3].name = "short-header";
  plans[3].control.firstHeaderRead = Short(8);
  plans[4].name = "short-table";
  plans[4].control.firstTableRead = Short(20);
  plans[5].name = "failed-header";
  plans[5].control.firstHeaderRead = kFail;
  plans[6].name = "failed-table";
  plans[6].control.firstTableRead = kFailAtEnd;
  plans[7].name = "failed-chunks";
  plans[7].control.chunkRead = kFail;
  plans[7].control.chunkReadMask = 0x55;
  plans[8].name = "short-chunks";
  plans[8].control.pastEndShort = true;
  plans[8].control.chunkRead = Short(3);
  plans[8].control.chunkReadMask = 0xAA;
  plans[9].name = "reparse";
  plans[9].control.secondParse = true;
  plans[9].control.secondFileOffsetRows = 1;
  plans[9].control.secondHeaderRead = Short(44);
  plans[9].control.extraRowIndex = 0x10000000u;
  return plans;
}

std::vector<uint8_t> BuildFilm(const Shape& shape, const Layout& layout) {
  FilmWriter writer;
  shape.build(writer);
  layout.apply(writer);
  return writer.Build();
}

}  // namespace

std::vector<Seed> StreamDescriptionSeeds() {
  std::vector<Seed> seeds;
  std::vector<Shape> shapes = Shapes();
  std::vector<Layout> layouts = Layouts();
  std::vector<ReadPlan> plans = ReadPlans();
  auto add = [&](const Shape& shape, const Layout& layout, const ReadPlan& plan) {
    seeds.push_back({shape.name + "_" + layout.name + "_" + plan.name,
                     MakeStreamDescriptionInput(plan.control, BuildFilm(shape, layout))});
  };
  // Every shape soundly laid out, every malformed layout of the mixed shape,
  // and every read plan over the mixed shape.
  for (const Shape& shape : shapes) add(shape, layouts[0], plans[0]);
  for (size_t i = 1; i < layouts.size(); ++i) add(shapes[0], layouts[i], plans[0]);
  for (size_t i = 1; i < plans.size(); ++i) add(shapes[0], layouts[0], plans[i]);
  // A few crossings where a layout and a read plan meet in the same region.
  add(shapes[1], layouts[11], plans[1]);   // entries-max, short past the end
  add(shapes[12], layouts[20], plans[8]);  // stored rows cut short, short chunk reads
  add(shapes[13], layouts[0], plans[1]);   // moved chunks read short
  add(shapes[0], layouts[1], plans[9]);    // a rejected region, then a reparse
  add(shapes[9], layouts[15], plans[2]);   // table-length-max, S_FALSE answers
  return seeds;
}

namespace {

// Recipes for the writer, whose every predicted sample the run must match.
void AddWrittenSeeds(std::vector<Seed>& seeds) {
  // Odd-length and empty audio chunks, key and other frames, a frame too
  // short for its head, one past the end, chunks one byte too large.
  const std::vector<std::pair<uint8_t, uint16_t>> rows = {
      {0, 2205}, {3, 900}, {1, 4410}, {5, 700},  {0, 1},  {6, 5},    {2, 0},
      {4, 1200}, {7, 9},   {0, 333},  {0xF8, 0}, {3, 40}, {0xFB, 0}, {1, 2000}};
  struct Variant {
    std::string name;
    uint8_t format;  // channels, bits and rate selectors
    uint8_t layout;  // time base, cut, padding, entry count
    uint16_t cut;
    GraphControl control;
  };
  GraphControl plain;
  plain.written = true;
  GraphControl refusesPrefix = plain;
  refusesPrefix.prefixless = 1;
  GraphControl grantsNoPrefix = plain;
  grantsNoPrefix.prefixless = 2;
  grantsNoPrefix.run = true;
  GraphControl grows = plain;
  grows.lengthChange = 1;
  grows.cutBytes = 3000;
  grows.disturbedRead = 4;
  GraphControl shrinks = grows;
  shrinks.lengthChange = 2;
  GraphControl readFails = plain;
  readFails.disturbance = 2;
  readFails.disturbedRead = 6;
  GraphControl readsShort = plain;
  readsShort.disturbance = 1;
  readsShort.disturbedRead = 5;
  GraphControl replay = plain;
  replay.stopAfter = 5;
  replay.replay = true;
  const std::vector<Variant> variants = {
      {"mono-8", 0x00, 0x00, 0, plain},
      {"stereo-16", 0x05, 0x01, 0, plain},
      {"stereo-12-planar", 0x0A, 0x02, 0, plain},
      {"mono-24-cut", 0x0D, 0x10, 2500, plain},
      {"stereo-16-cut-padded", 0x05, 0x30, 777, plain},
      {"fewer-entries", 0x05, 0x40, 0, plain},
      {"prefix-refused", 0x05, 0x00, 0, refusesPrefix},
      {"no-prefix-granted", 0x01, 0x00, 0, grantsNoPrefix},
      {"grows", 0x05, 0x00, 0, grows},
      {"shrinks", 0x05, 0x00, 0, shrinks},
      {"read-fails", 0x05, 0x00, 0, readFails},
      {"reads-short", 0x01, 0x00, 0, readsShort},
      {"stop-replay", 0x05, 0x00, 0, replay},
  };
  for (const Variant& variant : variants) {
    seeds.push_back({"written-" + variant.name,
                     MakeGraphInput(variant.control, MakeRecipe(variant.format, variant.layout,
                                                                variant.cut, rows))});
  }
  // The recipe's frames are no Cinepak: the decoder's damaged pictures.
  GraphControl decoded = plain;
  decoded.decoder = 1;
  seeds.push_back({"written-decoded", MakeGraphInput(decoded, MakeRecipe(0x05, 0x00, 0, rows))});
}

// Cinepak movies whose video goes through the decoder filter into each kind
// of sink, with a frame cut short and one of no Cinepak at all among them.
void AddDecodedSeeds(std::vector<Seed>& seeds) {
  FilmFormat format;
  format.width = 37;  // sides that are no multiple of 4
  format.height = 22;
  FilmWriter writer(format);
  filmwriter::CinepakStream stream(format.width, format.height, 11);
  for (int index = 0; index < 10; ++index) {
    std::vector<uint8_t> frame = stream.NextFrame(index % 4 == 0);
    if (index == 5) frame.resize(frame.size() / 2);
    if (index == 7) frame = Bytes(30, 0xC5);
    writer.AddVideo(frame, 60, index % 4 == 0);
    if (index % 3 == 0) writer.AddAudio(Bytes(441, static_cast<uint8_t>(index)));
  }
  const std::vector<uint8_t> film = writer.Build();
  const char* const sinks[] = {"any", "rgb24", "yuy2"};
  for (uint8_t sink = 1; sink <= 3; ++sink) {
    GraphControl control;
    control.decoder = sink;
    control.run = sink == 2;
    seeds.push_back({std::string("decoded-") + sinks[sink - 1], MakeGraphInput(control, film)});
  }
  GraphControl stopReplay;
  stopReplay.decoder = 1;
  stopReplay.stopAfter = 3;
  stopReplay.replay = true;
  seeds.push_back({"decoded-stop-replay", MakeGraphInput(stopReplay, film)});
  GraphControl refused;
  refused.decoder = 3;
  refused.refuseVideo = true;
  refused.prefixless = 2;
  seeds.push_back({"decoded-refused", MakeGraphInput(refused, film)});
  GraphControl flipped;
  flipped.decoder = 2;
  flipped.prefixless = 3;
  seeds.push_back({"decoded-flipped-rows", MakeGraphInput(flipped, film)});
  GraphControl cut;
  cut.decoder = 2;
  cut.cutBytes = 700;
  seeds.push_back({"decoded-cut", MakeGraphInput(cut, film)});
}

}  // namespace

std::vector<Seed> GraphSeeds() {
  std::vector<Seed> seeds;
  std::vector<Shape> shapes = Shapes();
  std::vector<Layout> layouts = Layouts();
  auto add = [&](const std::string& name, const GraphControl& control, const Shape& shape,
                 const Layout& layout) {
    seeds.push_back({shape.name + "_" + layout.name + "_" + name,
                     MakeGraphInput(control, BuildFilm(shape, layout))});
  };
  GraphControl toEnd;
  for (const Shape& shape : shapes) add("to-end", toEnd, shape, layouts[0]);
  for (size_t i = 1; i < layouts.size(); ++i) add("to-end", toEnd, shapes[0], layouts[i]);

  GraphControl stopEarly;
  stopEarly.stopAfter = 2;
  stopEarly.replay = true;
  stopEarly.run = true;
  add("stop-replay", stopEarly, shapes[0], layouts[0]);
  GraphControl oneBranch;
  oneBranch.connectVideo = false;
  oneBranch.refuseAudio = true;
  oneBranch.pastEndFails = true;
  add("audio-refused", oneBranch, shapes[1], layouts[0]);
  GraphControl disturbed;
  disturbed.disturbedRead = 4;
  disturbed.disturbance = 2;
  disturbed.connectAudio = false;
  add("read-fails", disturbed, shapes[0], layouts[0]);
  for (uint16_t cut : {1, 9, 333, 4000}) {
    GraphControl cutShort;
    cutShort.cutBytes = cut;
    for (size_t i = 0; i < 4 && i < shapes.size(); ++i) {
      add("cut-" + std::to_string(cut), cutShort, shapes[i], layouts[0]);
    }
  }

  // Frames of the longest duration at one tick a second: the running video
  // time grows by 2^32 seconds a frame.
  FilmWriter longFrames(Format(1, 8, 22050, 1));
  for (int i = 0; i < 8; ++i) longFrames.AddVideo(Bytes(12, static_cast<uint8_t>(i)), 0xFFFFFFFFu);
  seeds.push_back({"long-frames", MakeGraphInput(toEnd, longFrames.Build())});
  AddWrittenSeeds(seeds);
  AddDecodedSeeds(seeds);
  return seeds;
}

std::vector<Seed> RegistryTextSeeds() {
  auto text = [](std::string name, std::string body) {
    return Seed{std::move(name), std::vector<uint8_t>(body.begin(), body.end())};
  };
  return {
      text("empty", ""),
      text("header-only", "REGEDIT4\n"),
      text("registration",
           "REGEDIT4\n\n"
           "[HKEY_CLASSES_ROOT\\CLSID\\{D8A5A3C0-2F3B-11CF-9E2B-00AA00A5D7C4}]\n"
           "@=\"Tessaly Parser\"\n\n"
           "[HKEY_CLASSES_ROOT\\CLSID\\{D8A5A3C0-2F3B-11CF-9E2B-00AA00A5D7C4}\\InprocServer32]\n"
           "@=\"/usr/lib/tessaly/tessaly.ax\"\n"
           "\"ThreadingModel\"=\"Both\"\n\n"
           "[HKEY_CLASSES_ROOT\\Media Type\\{e436eb83-524f-11ce-9f53-0020af0ba770}\\"
           "{E436EB8B-524F-11CE-9F53-0020AF0BA770}]\n"
           "\"0\"=\"0,4,,46494c4d\"\n"
           "\"Source Filter\"=\"{e436ebb5-524f-11ce-9f53-0020af0ba770}\"\n"),
      text("value-kinds",
           "REGEDIT4\r\n\r\n"
           "; every kind of value line\r\n"
           "[HKEY_CLASSES_ROOT\\Kinds]\r\n"
           "@=\"default \\\"quoted\\\" and \\\\ back\"\r\n"
           "\"Merit\"=dword:00600000\r\n"
           "\"FilterData\"=hex:02,00,00,00,00,00,60,00,02,00,00,00,00,00,00,00,30,70,69,33,\\\r\n"
           "  08,00,00,00,00,00,00,00,01,00,00,00\r\n"
           "\"Expand\"=hex(2):25,50,41,54,48,25,00\r\n"
           "\"Multi\"=hex(7):61,00,62,00,00\r\n"
           "\"Empty\"=hex:\r\n"
           "\"NoneType\"=hex(0):\r\n"
           "\"merit\"=dword:FFFFFFFF\r\n"),
      text("root-and-case",
           "REGEDIT4\n[hkey_classes_root]\n@=\"root\"\n[HKEY_CLASSES_ROOT\\A\\b\\C]\n"
           "[HKEY_CLASSES_ROOT\\a\\B]\n\"x\"=\"1\"\n[HKEY_CLASSES_ROOT\\A\\B]\n\"X\"=\"2\"\n"),
      text("odd-strings",
           "REGEDIT4\n[HKEY_CLASSES_ROOT\\Odd]\n\"tab\"=\"a\tb\"\n\"\"=\"empty name\"\n"
           "\"bytes\"=\"\xC3\xA9\xFF\x01\"\n\"cr\"=\"a\rb\"\n\"spaces\" = \"  x  \"   \n"),
      text("bad-header", "REGEDIT5\n[HKEY_CLASSES_ROOT\\X]\n"),
      text("value-first", "REGEDIT4\n@=\"x\"\n"),
      text("unterminated", "REGEDIT4\n[HKEY_CLASSES_ROOT\\X]\n\"a\"=\"b\n"),
      text("bad-escape", "REGEDIT4\n[HKEY_CLASSES_ROOT\\X]\n\"a\"=\"\\n\"\n"),
      text("bad-dword", "REGEDIT4\n[HKEY_CLASSES_ROOT\\X]\n\"a\"=dword:123456789\n"),
      text("hex-past-end", "REGEDIT4\n[HKEY_CLASSES_ROOT\\X]\n\"a\"=hex:01,02,\\\n"),
      text("deletions", "REGEDIT4\n[-HKEY_CLASSES_ROOT\\X]\n[HKEY_CLASSES_ROOT\\Y]\n\"a\"=-\n"),
      text("other-root", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n"),
      text("bad-paths", "REGEDIT4\n[HKEY_CLASSES_ROOT\\A\\\\B]\n[HKEY_CLASSES_ROOT\\]\n"),
      text("bad-type", "REGEDIT4\n[HKEY_CLASSES_ROOT\\X]\n\"a\"=hex(123456789):00\n"),
  };
}

std::vector<Seed> CinepakFrameSeeds() {
  std::vector<Seed> seeds;
  const uint32_t sizes[][2] = {{4, 4}, {13, 9}, {16, 8}, {24, 36}, {64, 48}};
  for (uint8_t layout = 0; layout < 4; ++layout) {
    for (const auto& size : sizes) {
      filmwriter::CinepakStream stream(size[0], size[1], layout * 7 + size[0], 3);
      std::vector<std::vector<uint8_t>> frames;
      for (int i = 0; i < 4; ++i) frames.push_back(stream.NextFrame(i == 0));
      seeds.push_back({"cinepak-" + std::to_string(size[0]) + "x" + std::to_string(size[1]) +
                           "-layout" + std::to_string(layout),
                       MakeCinepakInput(size[0], size[1], layout, frames)});
    }
  }
  return seeds;
}

}  // namespace fuzzcheck
