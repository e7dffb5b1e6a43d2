#include "ExpectationCheck.h"

#include <algorithm>

namespace fuzzcheck {
namespace {

using filmwriter::ExpectedSample;

std::string Describe(const char* what, size_t index, const ReceivedSample& got) {
  return std::string(what) + ": delivered sample " + std::to_string(index) + ", " +
         std::to_string(got.bytes.size()) + " bytes from " + std::to_string(got.start) + " to " +
         std::to_string(got.stop);
}

class StreamComparison {
 public:
  StreamComparison(std::vector<const ExpectedSample*> expected, const ExpectationRules& rules)
      : m_expected(std::move(expected)), m_rules(rules) {}

  std::string Compare(const std::vector<ReceivedSample>& delivered) {
    for (size_t i = 0; i < delivered.size(); ++i) {
      const std::string failure = Take(i, delivered[i]);
      if (!failure.empty()) return failure;
    }
    if (m_rules.exact && (m_cursor != m_expected.size() || m_skipped)) {
      return std::to_string(delivered.size()) + " samples delivered where the writer predicts " +
             std::to_string(m_expected.size());
    }
    return "";
  }

 private:
  // The predicted sample a delivered one is, at or after the cursor (or,
  // once, from the start again for a replay).
  size_t Find(const ReceivedSample& got, size_t from) const {
    for (size_t j = from; j < m_expected.size(); ++j) {
      if (m_expected[j]->start == got.start && Carries(got, *m_expected[j])) return j;
    }
    return m_expected.size();
  }

  bool Carries(const ReceivedSample& got, const ExpectedSample& want) const {
    if (got.bytes.size() == want.payload.size()) {
      return got.stop == want.stop &&
             std::equal(got.bytes.begin(), got.bytes.end(), want.payload.begin());
    }
    if (!m_rules.shortened || want.stream != filmwriter::Stream::Audio ||
        got.bytes.size() > want.payload.size() || got.stop > want.stop) {
      return false;
    }
    return m_rules.planarAudio ||
           std::equal(got.bytes.begin(), got.bytes.end(), want.payload.begin());
  }

  // Empty chunks at one time are alike, so which of them went missing is
  // unknown: only a sample with bytes or a duration counts as skipped.
  bool SkipsSomething(size_t from, size_t to) const {
    for (size_t j = from; j < to; ++j) {
      if (!m_expected[j]->payload.empty() || m_expected[j]->stop != m_expected[j]->start) {
        return true;
      }
    }
    return false;
  }

  std::string Take(size_t index, const ReceivedSample& got) {
    size_t j = Find(got, m_cursor);
    bool restarted = false;
    if (j == m_expected.size() && m_rules.replay && !m_replayed) {
      j = Find(got, 0);
      restarted = m_replayed = j != m_expected.size();
    }
    if (j == m_expected.size()) {
      return Describe("not a sample the writer predicts, nor in its place", index, got);
    }
    const ExpectedSample& want = *m_expected[j];
    const bool skipped = SkipsSomething(restarted ? 0 : m_cursor, j);
    m_skipped = m_skipped || j != (restarted ? 0 : m_cursor);
    if (got.syncPoint != want.syncPoint) return Describe("the key-frame flag differs", index, got);
    // A run's first sample follows nothing of the run before it.
    if ((skipped || (m_previousShort && !restarted)) && !got.discontinuity) {
      return Describe("a sample after a lost or shortened one is no discontinuity", index, got);
    }
    if (m_rules.exact && got.discontinuity != want.discontinuity) {
      return Describe("the discontinuity flag differs", index, got);
    }
    m_previousShort = got.bytes.size() != want.payload.size();
    m_cursor = j + 1;
    return "";
  }

  std::vector<const ExpectedSample*> m_expected;  // borrowed from the expectation
  ExpectationRules m_rules;
  size_t m_cursor = 0;
  bool m_replayed = false;
  bool m_skipped = false;
  bool m_previousShort = false;
};

}  // namespace

std::string CompareWithWriter(const filmwriter::FilmExpectation& expect, filmwriter::Stream stream,
                              const std::vector<ReceivedSample>& delivered,
                              const ExpectationRules& rules) {
  std::vector<const ExpectedSample*> expected;
  for (const ExpectedSample& sample : expect.samples) {
    if (sample.stream == stream) expected.push_back(&sample);
  }
  return StreamComparison(std::move(expected), rules).Compare(delivered);
}

}  // namespace fuzzcheck
