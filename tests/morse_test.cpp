// Morse sound generator: options value, speed table, patterns, WAV images, the element sequence
// of the worker (through a recording player), stop requests, the entry text and whole-text waves.
#include <gtest/gtest.h>

#include <cmath>
#include <mutex>

#include "OpenedDataSet.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "dataset/ULookup.h"
#include "lookup_fixture.h"
#include "morse/UMMCWOutput.h"
#include "morse/UMorseWave.h"
#include "storage/UIndexEngine.h"

namespace {

uint32_t LE32(const std::vector<uint8_t>& w, size_t at) {
  return w[at] | (w[at + 1] << 8) | (w[at + 2] << 16) | (static_cast<uint32_t>(w[at + 3]) << 24);
}
uint16_t LE16(const std::vector<uint8_t>& w, size_t at) {
  return static_cast<uint16_t>(w[at] | (w[at + 1] << 8));
}

// Logs what is played: "T<ms>" a tone, "S<ms>" a silent wave, "P<ms>" a pause. onPlay runs
// after each Play (to request a stop while an element sounds).
class TRecordingPlayer : public TSoundPlayer {
 public:
  std::vector<std::string> log;
  std::function<void(const std::string&)> onPlay;
  void Play(const std::vector<uint8_t>& wave) override {
    const size_t n = wave.size() - kWaveHeaderSize;
    bool silent = true;
    for (size_t i = kWaveHeaderSize; i < wave.size(); ++i) silent = silent && wave[i] == 128;
    const std::string item = (silent ? "S" : "T") + std::to_string(n / 8);
    log.push_back(item);
    if (onPlay) onPlay(item);
  }
  void Pause(unsigned ms) override { log.push_back("P" + std::to_string(ms)); }
};

// Logs the window calls; Synchronize runs them at once, on whichever thread calls it.
class TRecordingHost : public TCWOutputHost {
 public:
  std::vector<std::string> log;
  std::mutex mutex;
  int syncs = 0;
  void Synchronize(const std::function<void()>& call) override {
    std::lock_guard lock(mutex);
    ++syncs;
    call();
  }
  void ShowText(const std::string& text) override { log.push_back("text:" + text); }
  void SetInfo(const std::string& text) override { log.push_back("info:" + text); }
  void ShowSelection(int position) override { log.push_back("sel:" + std::to_string(position)); }
  void SetKeyCursor(bool down) override { log.push_back(down ? "down" : "up"); }
};

std::vector<std::string> Send(const std::string& text, int speed = 1,
                              TRecordingHost* hostOut = nullptr) {
  TRecordingPlayer player;
  TRecordingHost host;
  TCWOutput worker(player, host);
  worker.SetText(text);
  worker.SetOptions({800, static_cast<uint8_t>(speed), 100});
  worker.Execute();
  if (hostOut) hostOut->log = host.log;
  return player.log;
}

}  // namespace

TEST(MorseOptions, PacksPitchSpeedVolumeIntoOneValue) {
  const TMorseOptions o{805, 6, 127};
  const uint32_t v = PackMorseOptions(o);
  EXPECT_EQ(v, 805u | (6u << 16) | (127u << 24));
  const TMorseOptions back = UnpackMorseOptions(v);
  EXPECT_EQ(back.pitch, 805);
  EXPECT_EQ(back.speed, 6);
  EXPECT_EQ(back.volume, 127);
  EXPECT_EQ(UnpackMorseOptions(0xFFFFFFFFu).pitch, 65535);
  EXPECT_EQ(UnpackMorseOptions(0xFFFFFFFFu).volume, 255);
}

struct TStepCase {
  int step;
  const char* label;
  uint16_t dot, dash, element, letter, word;
};

class MorseSpeedStep : public ::testing::TestWithParam<TStepCase> {};

TEST_P(MorseSpeedStep, DurationsAndLabel) {
  const TStepCase& c = GetParam();
  const TMorseTiming t = MorseTiming(c.step);
  EXPECT_EQ(t.dotMs, c.dot);
  EXPECT_EQ(t.dashMs, c.dash);
  EXPECT_EQ(t.elementGapMs, c.element);
  EXPECT_EQ(t.letterGapMs, c.letter);
  EXPECT_EQ(t.wordGapMs, c.word);
  EXPECT_EQ(MorseSpeedLabel(c.step), c.label);
  // The worker plays exactly these: "et" at this step.
  TRecordingPlayer player;
  TRecordingHost host;
  TCWOutput worker(player, host);
  worker.SetText("ie t");
  worker.SetOptions({800, static_cast<uint8_t>(c.step), 100});
  worker.Execute();
  const auto n = [](uint16_t v) { return std::to_string(v); };
  EXPECT_EQ(player.log, std::vector<std::string>(
                            {"T" + n(c.dot), "P" + n(c.element), "T" + n(c.dot), "S" + n(c.letter),
                             "T" + n(c.dot), "S" + n(c.letter), "S" + n(c.word), "T" + n(c.dash)}));
}

INSTANTIATE_TEST_SUITE_P(Table, MorseSpeedStep,
                         ::testing::Values(TStepCase{0, "30 BPM", 242, 726, 145, 484, 1452},
                                           TStepCase{1, "45 BPM", 181, 543, 109, 362, 1086},
                                           TStepCase{2, "60 BPM", 121, 363, 73, 242, 726},
                                           TStepCase{3, "75 BPM", 105, 315, 63, 210, 630},
                                           TStepCase{4, "90 BPM", 90, 270, 54, 180, 540},
                                           TStepCase{5, "105 BPM", 75, 225, 45, 150, 450},
                                           TStepCase{6, "120 BPM", 60, 180, 36, 120, 360},
                                           // Outside the table: the slowest dot, no label.
                                           TStepCase{7, "", 242, 726, 145, 484, 1452},
                                           TStepCase{255, "", 242, 726, 145, 484, 1452}));

TEST(MorsePattern, LettersDigitsAndSigns) {
  const char* const letters[] = {".-",   "-...", "-.-.", "-..",  ".",    "..-.", "--.",
                                 "....", "..",   ".---", "-.-",  ".-..", "--",   "-.",
                                 "---",  ".--.", "--.-", ".-.",  "...",  "-",    "..-",
                                 "...-", ".--",  "-..-", "-.--", "--.."};
  for (char c = 'a'; c <= 'z'; ++c) EXPECT_EQ(MorsePattern(c), letters[c - 'a']) << c;
  // Digit d: d dots then dashes (1..5), or dashes then dots (6..9, 0).
  for (int d = 0; d <= 9; ++d) {
    std::string p;
    for (int i = 0; i < 5; ++i)
      p += (d >= 1 && d <= 5) ? (i < d ? '.' : '-') : (i < (d + 5) % 10 ? '-' : '.');
    EXPECT_EQ(MorsePattern(static_cast<char>('0' + d)), p) << d;
  }
  EXPECT_EQ(MorsePattern(','), "--..--");
  EXPECT_EQ(MorsePattern('.'), ".-.-.-");
  EXPECT_EQ(MorsePattern('?'), "..--..");
  EXPECT_EQ(MorsePattern('/'), "-..-.");
  EXPECT_EQ(MorsePattern('-'), MorsePattern('/'));
  EXPECT_EQ(MorsePattern('+'), "...-.-");
  EXPECT_EQ(MorsePattern('<'), ".-.-.");
  EXPECT_EQ(MorsePattern('>'), "-.-.-");
  EXPECT_EQ(MorsePattern('='), "-...-");
  EXPECT_NE(MorsePattern('='), MorsePattern('x'));
  for (char c : std::string("AZ :;!()\"'@_\t\x8e")) EXPECT_EQ(MorsePattern(c), "") << int(c);
}

TEST(MorseWave, HeaderAndSamplesOfAShortTone) {
  // 2000 Hz is a quarter turn per sample: the first sample at phase step gives the peak.
  const std::vector<uint8_t> w = MakeToneWave(2000, 2, 100);
  ASSERT_EQ(w.size(), 44u + 16u);
  EXPECT_EQ(std::string(w.begin(), w.begin() + 4), "RIFF");
  EXPECT_EQ(LE32(w, 4), 16u + 36u);
  EXPECT_EQ(std::string(w.begin() + 8, w.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(LE32(w, 16), 16u);
  EXPECT_EQ(LE16(w, 20), 1);
  EXPECT_EQ(LE16(w, 22), 1);
  EXPECT_EQ(LE32(w, 24), 8000u);
  EXPECT_EQ(LE32(w, 28), 8000u);
  EXPECT_EQ(LE16(w, 32), 1);
  EXPECT_EQ(LE16(w, 34), 8);
  EXPECT_EQ(std::string(w.begin() + 36, w.begin() + 40), "data");
  EXPECT_EQ(LE32(w, 40), 16u);
  for (size_t k = 1; k <= 16; ++k) {
    const uint8_t expected[] = {128, 228, 128, 28};
    EXPECT_EQ(w[43 + k], expected[k % 4]) << k;
  }
  // 800 Hz: one turn per 10 samples; sample k is 128 + round(100 sin(k pi / 5)).
  const std::vector<uint8_t> t = MakeToneWave(800, 1, 100);
  const uint8_t tone[] = {187, 223, 223, 187, 128, 69, 33, 33};
  EXPECT_EQ(std::vector<uint8_t>(t.begin() + 44, t.end()), std::vector<uint8_t>(tone, tone + 8));
}

TEST(MorseWave, SilenceAndLoudness) {
  for (const auto& w : {MakeToneWave(0, 145, 100), MakeToneWave(800, 145, 0)}) {
    ASSERT_EQ(w.size(), 44u + 1160u);
    for (size_t i = 44; i < w.size(); ++i) ASSERT_EQ(w[i], 128) << i;
  }
  // The loudest tone stays within 1..255; a volume above 127 sounds like 127, never wraps.
  const std::vector<uint8_t> loud = MakeToneWave(1000, 20, 127);
  EXPECT_EQ(*std::min_element(loud.begin() + 44, loud.end()), 1);
  EXPECT_EQ(*std::max_element(loud.begin() + 44, loud.end()), 255);
  EXPECT_EQ(MakeToneWave(1000, 20, 255), loud);
  EXPECT_EQ(MakeToneWave(1000, 0, 100).size(), 44u);
}

TEST(MorseSequence, ElementsAndGapsOfAB) {
  TRecordingHost host;
  EXPECT_EQ(Send("a b", 1, &host),
            std::vector<std::string>({"T181", "P109", "T543", "S362", "S1086", "T543", "P109",
                                      "T181", "P109", "T181", "P109", "T181"}));
  // The text shown, "ESC stops" once, the character under way selected, then the end.
  const std::vector<std::string> keyAndText = {"down", "up", "down", "up"};
  std::vector<std::string> expected = {"text:a b", "info:ESC stops CW output", "sel:1"};
  expected.insert(expected.end(), keyAndText.begin(), keyAndText.end());  // a: two elements
  expected.insert(expected.end(), {"sel:2", "sel:3"});
  for (int i = 0; i < 2; ++i)  // b: four elements
    expected.insert(expected.end(), keyAndText.begin(), keyAndText.end());
  // The end of the text, then the reset at the end of the run.
  expected.insert(expected.end(),
                  {"info:Inactive: F9 starts with current entry", "sel:0",
                   "info:Inactive: F9 starts with current entry", "sel:0", "text:"});
  EXPECT_EQ(host.log, expected);
}

TEST(MorseSequence, CaseSilentCharactersAndTrailingSpace) {
  EXPECT_EQ(Send("CQ DE W1AW"), Send("cq de w1aw"));
  // A character without a pattern is silent but keeps its letter gap; '-' sounds like '/'.
  EXPECT_EQ(Send("e:e"), std::vector<std::string>({"T181", "S362", "S362", "T181"}));
  EXPECT_EQ(Send("-"), Send("/"));
  EXPECT_EQ(Send("e "), std::vector<std::string>({"T181", "S362", "S1086"}));
  // A typed character that code page 437 lacks stands as kNoMorseChar: silent like ':', not
  // sent as '?'.
  const std::string typed = Utf8ToCp437("e\u65e5e", kNoMorseChar);
  EXPECT_EQ(typed, std::string("e") + kNoMorseChar + "e");
  EXPECT_EQ(Send(typed), Send("e:e"));
  EXPECT_NE(Send(Utf8ToCp437("e\u65e5e")), Send("e:e"));  // '?' by default: ..--..
}

TEST(MorseSequence, PitchZeroKeepsTheTiming) {
  TRecordingPlayer player;
  TRecordingHost host;
  TCWOutput worker(player, host);
  worker.SetText("a");
  worker.SetOptions({0, 2, 100});
  worker.Execute();
  EXPECT_EQ(player.log, std::vector<std::string>({"S121", "P73", "S363"}));
}

TEST(MorseSequence, LongTextIsCutTo255Characters) {
  TRecordingPlayer player;
  TRecordingHost host;
  TCWOutput worker(player, host);
  worker.SetText(std::string(300, 'e'));
  EXPECT_EQ(worker.Text().size(), 255u);
  worker.SetOptions({800, 6, 100});
  worker.Execute();
  EXPECT_EQ(std::count(player.log.begin(), player.log.end(), "T60"), 255);
  EXPECT_EQ(std::count(player.log.begin(), player.log.end(), "S120"), 254);
}

TEST(MorseSequence, StopDuringADashLetsItFinishAndSendsNothingMore) {
  TRecordingPlayer player;
  TRecordingHost host;
  TCWOutput worker(player, host);
  worker.SetText("kk");
  worker.SetOptions({800, 1, 100});
  player.onPlay = [&](const std::string& item) {
    if (item == "T543") worker.Terminate();
  };
  worker.Execute();
  EXPECT_EQ(player.log, std::vector<std::string>({"T543"}));
  // The key goes up after the dash; the status and text are reset.
  const std::vector<std::string> tail(host.log.end() - 5, host.log.end());
  EXPECT_EQ(tail,
            std::vector<std::string>(
                {"down", "up", "info:Inactive: F9 starts with current entry", "sel:0", "text:"}));
  EXPECT_EQ(worker.Position(), 0);
}

TEST(MorseSequence, EmptyTextEndsInactive) {
  TRecordingHost host;
  EXPECT_TRUE(Send("", 1, &host).empty());
  EXPECT_EQ(host.log, std::vector<std::string>({"text:", "sel:0",
                                                "info:Inactive: F9 starts with current entry",
                                                "sel:0", "text:"}));
}

TEST(MorseWorker, RunsOnItsOwnThreadAndCallsTheEndHandlerAfterTheRun) {
  TRecordingPlayer player;
  TRecordingHost host;
  TCWOutput worker(player, host);
  worker.SetText("ee");
  worker.SetOptions({800, 6, 100});
  std::atomic<bool> ended{false};
  std::atomic<bool> finishedAtEnd{false};
  std::thread::id endThread;
  worker.SetOnTerminate([&] {
    finishedAtEnd = worker.Finished();
    endThread = std::this_thread::get_id();
    ended = true;
  });
  worker.Resume();
  worker.WaitFor();
  EXPECT_TRUE(ended);
  EXPECT_TRUE(finishedAtEnd);
  EXPECT_NE(endThread, std::this_thread::get_id());
  EXPECT_EQ(player.log, std::vector<std::string>({"T60", "S120", "T60"}));
  // Every window call went through Synchronize: the text twice, three status updates, the key.
  EXPECT_EQ(host.syncs, 2 + 4 + 4);
}

TEST(MorseWorker, DestroyingARunningWorkerStopsIt) {
  TRecordingPlayer player;
  TRecordingHost host;
  auto worker = std::make_unique<TCWOutput>(player, host);
  worker->SetText(std::string(255, '0'));
  worker->SetOptions({800, 0, 100});
  player.onPlay = [](const std::string&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  };
  worker->Resume();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  worker.reset();
  EXPECT_LT(player.log.size(), 255u * 9);
}

TEST(MorseWave, WholeTextAsOneImage) {
  const TMorseOptions o{800, 1, 100};
  const std::vector<uint8_t> w = MorseTextWave("a b", o);
  // dot, gap, dash, letter gap, word gap, dash, 3 x (gap, dot): in ms, 8 samples each.
  const uint32_t ms = 181 + 109 + 543 + 362 + 1086 + 543 + 3 * (109 + 181);
  ASSERT_EQ(w.size(), 44u + 8 * ms);
  EXPECT_EQ(LE32(w, 40), 8 * ms);
  EXPECT_EQ(LE32(w, 4), 8 * ms + 36);
  const std::vector<uint8_t> dot = MakeToneWave(800, 181, 100);
  EXPECT_TRUE(std::equal(dot.begin() + 44, dot.end(), w.begin() + 44));
  EXPECT_EQ(w[44 + 8 * 181], 128);
  EXPECT_EQ(MorseTextWave("", o).size(), 44u);
}

class MorseEntryTextTest : public EditionSuite<fixture::TFixtureEdition> {
 protected:
  static std::string TextOf(const std::string& call) {
    TLookup lk;
    const TCallLookup r = lk.FindCall(call);
    EXPECT_TRUE(r.exact) << call;
    EXPECT_TRUE(lk.LoadCurrent());
    return MorseEntryText(lk.Record());
  }
};

TEST_F(MorseEntryTextTest, FieldsOfBothDatabasesInOrder) {
  EXPECT_EQ(TextOf("dl1abc"),
            "DL1ABC A Hans Mueller, Hauptstrasse 5, 10115 Berlin Germany Germany");
  // An empty field keeps its space.
  EXPECT_EQ(TextOf("ja1aa"), "JA1AA  Taro Yamada, 1-2-3 Ginza, Tokyo Japan Japan");
  EXPECT_EQ(TextOf("w1aw"),
            "W1AW CT 06111 B 01/01/1996 01/01/2006 72.7289 41.7147 860 HARTFORD EST "
            "ARRL HQ STATION, 225 MAIN ST, NEWINGTON United States United States");
  // The stored class code, "0" for "<" in the call, blank dates as stored.
  const std::string n0xx = TextOf("n0xx");
  EXPECT_EQ(n0xx.substr(0, 15), "N0XX CO 80202 t");
  EXPECT_NE(n0xx.find(" 104.9903 39.7392  DENVER  MARY JONES"), std::string::npos) << n0xx;
}
