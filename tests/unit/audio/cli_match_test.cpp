// The decoder's PCM against ffmpeg's own command-line decode of the same
// file, for every format the player meets. Files are made with the ffmpeg
// command line at test time; without it (under qemu) the tests skip.
#include "audio_support.h"

#include <gtest/gtest.h>

using namespace audiotest;

namespace {

// Two different tones per side, so that a swapped or dropped channel shows.
constexpr char kStereoSource[] =
    "-f lavfi -i \"aevalsrc=0.45*sin(2*PI*440*t)+0.2*sin(2*PI*1230*t)|"
    "0.4*sin(2*PI*660*t)+0.25*sin(2*PI*3100*t):s=44100:d=2.5\"";
constexpr char kMonoSource[] = "-f lavfi -i \"aevalsrc=0.7*sin(2*PI*523*t)+0.2*sin(2*PI*2000*t):s=11025:d=2\"";
// Six channels, each its own tone, loud enough that the down-mix clamps.
constexpr char kSurroundSource[] =
    "-f lavfi -i \"aevalsrc=0.5*sin(2*PI*300*t)|0.5*sin(2*PI*500*t)|0.4*sin(2*PI*700*t)|"
    "0.3*sin(2*PI*60*t)|0.45*sin(2*PI*1100*t)|0.45*sin(2*PI*1300*t):s=48000:d=1.5\"";
// A small moving picture in front of the stereo sound: video files whose
// sound the player plays.
constexpr char kVideoSource[] =
    "-f lavfi -i testsrc=size=64x48:rate=10:d=2.5 -f lavfi -i \"aevalsrc=0.45*sin(2*PI*440*t)|"
    "0.4*sin(2*PI*660*t):s=44100:d=2.5\"";
// The decoder's down-mix written as ffmpeg's pan filter (gains of 1, no
// normalisation), so the command line computes the same sums.
constexpr char kPanRule[] = "-af \"pan=stereo|c0=FL+FC+SL|c1=FR+FC+SR\"";
// AAC in MP4 carries no layout: six channels are FFmpeg's 5.1 with back
// channels, which the decoder mixes by position (0+2+4, 1+2+5).
constexpr char kPanRuleBack[] = "-af \"pan=stereo|c0=FL+FC+BL|c1=FR+FC+BR\"";

struct Case {
  const char *name;  // file name; the extension picks the container
  const char *source;
  const char *encode;  // encoder options
  int channels;        // output channels of the decoder
  int tolerance;       // 0 for integer sources, 1 LSB for float ones
  const char *reference = "";  // extra options of the reference decode
  int layout = 0;              // 6: tag the source as 5.1
};

const Case kCases[] = {
    {"cbr.mp3", kStereoSource, "-c:a libmp3lame -b:a 128k", 2, 1},
    {"vbr.mp3", kStereoSource, "-c:a libmp3lame -q:a 4", 2, 1},
    {"mono.mp3", kMonoSource, "-c:a libmp3lame -b:a 32k", 1, 1},
    {"u8.wav", kMonoSource, "-c:a pcm_u8", 1, 0},
    {"s16.wav", kStereoSource, "-c:a pcm_s16le", 2, 0},
    {"f32.wav", kStereoSource, "-c:a pcm_f32le", 2, 1},
    {"f64.wav", kMonoSource, "-c:a pcm_f64le", 1, 1},
    {"s32.wav", kStereoSource, "-c:a pcm_s32le", 2, 0},
    {"s64.w64", kStereoSource, "-c:a pcm_s64le", 2, 0},
    {"vorbis.ogg", kStereoSource, "-c:a libvorbis -q:a 3", 2, 1},
    {"s16.flac", kStereoSource, "-c:a flac", 2, 0},
    {"s24.flac", kStereoSource, "-c:a flac -sample_fmt s32", 2, 0},
    {"aac.m4a", kStereoSource, "-c:a aac -b:a 96k", 2, 1},
    {"wma2.wma", kStereoSource, "-c:a wmav2 -b:a 96k", 2, 1},
    {"wma1.wma", kMonoSource, "-c:a wmav1 -b:a 32k", 1, 1},
    // Sound of video files; the picture streams are skipped.
    {"video.mp4", kVideoSource, "-c:v mpeg4 -c:a aac -b:a 96k", 2, 1},
    {"video.avi", kVideoSource, "-c:v mpeg4 -c:a libmp3lame -b:a 96k", 2, 1},
    {"video.mkv", kVideoSource, "-c:v mpeg4 -c:a libvorbis", 2, 1},
    // Surround: planar float (aac) and packed float (wav) down-mixed by the rule.
    {"surround.m4a", kSurroundSource, "-c:a aac -b:a 256k", 2, 1, kPanRuleBack, 6},
    {"surround.wav", kSurroundSource, "-c:a pcm_f32le", 2, 1, kPanRule, 6},
    {"surround16.wav", kSurroundSource, "-c:a pcm_s16le", 2, 0, kPanRule, 6},
};

// Test names and failure lines show the file, not the record's bytes.
void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

class CliMatch : public ::testing::TestWithParam<Case> {};

TEST_P(CliMatch, SamePcmAsCommandLine) {
  if (Ffmpeg().empty()) GTEST_SKIP() << "no ffmpeg command line here";
  const Case &c = GetParam();
  TempDir dir;
  const std::string file = dir / c.name;
  std::string layout = c.layout == 6 ? " -af \"channelmap=channel_layout=5.1(side)\"" : "";
  ASSERT_TRUE(RunFfmpeg(std::string(c.source) + layout + " " + c.encode + " '" + file + "'")) << c.name;

  Decoded ours = DecodeAll(file);
  ASSERT_EQ(ours.rc, 0);
  EXPECT_EQ(ours.channels, c.channels);
  std::vector<int16_t> ref = CliDecode(file, c.channels, c.reference);
  ASSERT_FALSE(ref.empty());
  ASSERT_EQ(ours.pcm.size(), ref.size()) << "sample count differs";
  EXPECT_LE(MaxDiff(ours.pcm, ref), c.tolerance);
  // A silent decode would match a silent reference: make sure there is sound.
  int peak = 0;
  for (int16_t s : ours.pcm) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_GT(peak, 3000);
}

INSTANTIATE_TEST_SUITE_P(Formats, CliMatch, ::testing::ValuesIn(kCases),
                         FileCaseName<Case>);

// An ID3v2 tag larger than FFmpeg's probe buffer in front of the first frame.
TEST(CliMatch, Mp3BehindLargeId3Tag) {
  if (Ffmpeg().empty()) GTEST_SKIP() << "no ffmpeg command line here";
  TempDir dir;
  const std::string plain = dir / "plain.mp3";
  ASSERT_TRUE(RunFfmpeg(std::string(kStereoSource) + " -c:a libmp3lame -b:a 128k -write_id3v2 0 '" + plain + "'"));
  // ID3v2.3: a TXXX frame of 300 kB text, then 100 kB of padding.
  std::string content = std::string(1, '\0') + "big" + std::string(1, '\0') + std::string(300000, 'x');
  std::string frame = "TXXX";
  for (int shift : {24, 16, 8, 0}) frame += static_cast<char>((content.size() >> shift) & 0xff);
  frame += std::string(2, '\0') + content;
  std::string body = frame + std::string(100000, '\0');
  std::string tag = std::string("ID3") + '\3' + '\0' + '\0';
  for (int shift : {21, 14, 7, 0}) tag += static_cast<char>((body.size() >> shift) & 0x7f);
  const std::string tagged = dir / "tagged.mp3";
  WriteFile(tagged, tag + body + ReadFile(plain));

  Decoded ours = DecodeAll(tagged);
  ASSERT_EQ(ours.rc, 0);
  std::vector<int16_t> ref = CliDecode(tagged, 2);
  ASSERT_FALSE(ref.empty());
  ASSERT_EQ(ours.pcm.size(), ref.size());
  EXPECT_LE(MaxDiff(ours.pcm, ref), 1);
  // Same audio as without the tag.
  EXPECT_EQ(ours.pcm, DecodeAll(plain).pcm);
}

// A real book's clips (mono speech mp3) decode as the command line does.
TEST(CliMatch, BookClips) {
  if (Ffmpeg().empty()) GTEST_SKIP() << "no ffmpeg command line here";
  const std::string clip = SamplesDir() + "/daisy3/speechgen/speechgen0001.mp3";
  ASSERT_TRUE(std::filesystem::exists(clip)) << clip;
  Decoded ours = DecodeAll(clip);
  ASSERT_EQ(ours.rc, 0);
  std::vector<int16_t> ref = CliDecode(clip, ours.channels);
  ASSERT_EQ(ours.pcm.size(), ref.size());
  EXPECT_LE(MaxDiff(ours.pcm, ref), 1);
}

}  // namespace
