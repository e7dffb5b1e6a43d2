#include "support/DeliveryCheck.h"

#include <algorithm>

namespace {

bool PayloadMatches(const filmwriter::ExpectedSample& want, const ReceivedSample& got) {
  return got.bytes.size() == want.payload.size() &&
         std::equal(want.payload.begin(), want.payload.begin() + want.determinedLength,
                    got.bytes.begin());
}

// The flags only a run that took every sample can be held to.
std::string WrongFlags(const filmwriter::ExpectedSample& want, const ReceivedSample& got) {
  if (got.discontinuity != want.discontinuity) {
    return "discontinuity " + std::to_string(got.discontinuity);
  }
  if (got.mediaTimeResult != S_OK || got.mediaStart != want.start || got.mediaStop != want.stop) {
    return "media time " + std::to_string(got.mediaStart) + ".." + std::to_string(got.mediaStop);
  }
  if (got.preroll || got.typeChanged) {
    return got.preroll ? "a preroll sample" : "a sample with a new type";
  }
  return std::string();
}

}  // namespace

std::string CheckDelivery(const filmwriter::FilmExpectation& expect, filmwriter::Stream stream,
                          const std::vector<ReceivedSample>& records, Delivered rule) {
  std::vector<const filmwriter::ExpectedSample*> rows;
  for (const filmwriter::ExpectedSample& sample : expect.samples) {
    if (sample.stream == stream) {
      rows.push_back(&sample);
    }
  }
  const std::string name = stream == filmwriter::Stream::Audio ? "audio" : "video";
  size_t next = 0;  // the stream's predicted sample the next receive should carry
  bool gap = false;
  REFERENCE_TIME refused = 0;  // the time of the rows not taken so far
  for (size_t i = 0; i < records.size(); ++i) {
    const ReceivedSample& got = records[i];
    // S_FALSE takes the sample and asks for no more: its time counts.
    const bool taken = SUCCEEDED(got.answer);
    size_t at = next;
    while (at < rows.size() && !PayloadMatches(*rows[at], got)) {
      ++at;
    }
    const std::string where = name + " receive " + std::to_string(i);
    if (at == rows.size() || (at != next && rule != Delivered::UntilStopped)) {
      return where + ": " + std::to_string(got.bytes.size()) + " bytes that are not the " +
             std::to_string(next) + "th sample's";
    }
    for (; next < at; ++next) {
      refused += rows[next]->stop - rows[next]->start;
      gap = true;
    }
    const filmwriter::ExpectedSample& want = *rows[at];
    const std::string row = where + " (row " + std::to_string(want.row) + "): ";
    if (gap && taken) {
      return row + "taken after rows were skipped";
    }
    if (got.answer != S_OK && rule == Delivered::Exactly) {
      return row + "answered " + std::to_string(got.answer);
    }
    const REFERENCE_TIME start = want.start - refused;
    const REFERENCE_TIME stop = want.stop - refused;
    if (got.timeResult != S_OK || got.start != start || got.stop != stop) {
      return row + "time " + std::to_string(got.start) + ".." + std::to_string(got.stop) +
             " (result " + std::to_string(got.timeResult) + "), expected " + std::to_string(start) +
             ".." + std::to_string(stop);
    }
    if (got.syncPoint != want.syncPoint) {
      return row + "sync point " + std::to_string(got.syncPoint);
    }
    const std::string flags = rule == Delivered::Exactly ? WrongFlags(want, got) : "";
    if (!flags.empty()) {
      return row + flags;
    }
    if (!taken) {
      refused += want.stop - want.start;
    }
    next = at + 1;
  }
  if (rule != Delivered::UntilStopped && next != rows.size()) {
    return name + ": " + std::to_string(next) + " of " + std::to_string(rows.size()) +
           " samples delivered";
  }
  return std::string();
}
