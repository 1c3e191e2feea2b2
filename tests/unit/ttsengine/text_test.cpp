// Text handling before synthesis: Chinese readings of numbers, clauses and
// language runs. No speech data needed.
#include "ttsengine/text_plan.h"
#include "ttsengine/zh_number.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace {

struct Case {
  const char *in;
  const char *out;
};

TEST(ZhNumber, IntegersReadAsAListenerExpects) {
  const Case cases[] = {
      {"0", "零"},           {"7", "七"},           {"10", "十"},
      {"15", "十五"},        {"20", "二十"},        {"101", "一百零一"},
      {"110", "一百一十"},   {"200", "二百"},       {"1005", "一千零五"},
      {"1050", "一千零五十"}, {"2000", "两千"},      {"10050", "一万零五十"},
      {"12345", "一万两千三百四十五"}, {"20000", "两万"}, {"100000", "十万"},
      {"100005", "十万零五"}, {"110000", "十一万"},  {"100000000", "一亿"},
      {"100005000", "一亿零五千"}, {"300000012", "三亿零一十二"},
      {"1000000000000", "一万亿"}, {"00012", "十二"},
  };
  for (const Case &c : cases) EXPECT_EQ(ZhIntegerWords(c.in), c.out) << c.in;
}

TEST(ZhNumber, NumbersInTextByContext) {
  const Case cases[] = {
      {"2024年", "二〇二四年"},
      {"3.5", "三点五"},
      {"0.05", "零点零五"},
      {".5米", "零点五米"},
      {"10:30", "十点三十分"},
      {"8:05开会", "八点零五分开会"},
      {"2:00", "两点整"},
      {"23:59:09", "二十三点五十九分零九秒"},
      {"50%", "百分之五十"},
      {"-3.5%", "负百分之三点五"},
      {"气温-5度", "气温负五度"},
      {"13812345678", "一三八一二三四五六七八"},
      {"007", "零零七"},
      {"010-12345678", "零一零 一二三四五六七八"},
      {"2024-11-13", "二〇二四年十一月十三日"},
      {"2024/11/13", "二〇二四年十一月十三日"},
      {"2024.11.13", "二〇二四年十一月十三日"},
      {"2024-11", "二〇二四年十一月"},
      {"3-5天", "三到五天"},
      {"3~5天", "三到五天"},
      {"比分3:2", "比分三比二"},
      {"1/2", "二分之一"},
      {"1,000元", "一千元"},
      {"1,234,567", "一百二十三万四千五百六十七"},
      {"2个人", "两个人"},
      {"2小时", "两小时"},
      {"第2个", "第二个"},
      {"2月", "二月"},
      {"听mp3和A4纸", "听mp3和A4纸"},
      {"版本v1.2.3", "版本v1.2.3"},
      {"一共12页。", "一共十二页。"},
      {"30.", "三十."},
  };
  ZhNumberOptions o;
  for (const Case &c : cases) EXPECT_EQ(ZhNormalizeNumbers(c.in, o), c.out) << c.in;
}

TEST(ZhNumber, DigitModeAndYao) {
  ZhNumberOptions digits;
  digits.readDigit = 2;
  EXPECT_EQ(ZhNormalizeNumbers("123", digits), "一二三");
  EXPECT_EQ(ZhNormalizeNumbers("3.14", digits), "三点一四");
  ZhNumberOptions values;
  values.readDigit = 1;
  EXPECT_EQ(ZhNormalizeNumbers("13812345678", values), "一百三十八亿一千二百三十四万五千六百七十八");
  EXPECT_EQ(ZhNormalizeNumbers("007", values), "七");
  ZhNumberOptions yao;
  yao.yao = 1;
  EXPECT_EQ(ZhNormalizeNumbers("13812345678", yao), "幺三八幺二三四五六七八");
  EXPECT_EQ(ZhNormalizeNumbers("110", yao), "一百一十");  // a value, not a digit string
}

TEST(TextPlan, ClausesCarryTheirInputOffsets) {
  const char *text = "你好，世界。";
  auto plan = TextPlan(text, static_cast<uint32_t>(std::strlen(text)), {});
  ASSERT_EQ(plan.size(), 2u);
  EXPECT_EQ(plan[0].byteStart, 0u);
  EXPECT_EQ(plan[0].byteLen, 9u);
  EXPECT_EQ(plan[1].byteStart, 9u);
  EXPECT_EQ(plan[1].byteLen, 9u);
  EXPECT_EQ(plan[1].charStart, 3u);
  EXPECT_EQ(plan[1].charLen, 3u);
}

TEST(TextPlan, LatinWordsGoToEnglishPinyinStaysChinese) {
  const char *text = "我在听mp3音乐，银hang2的DAISY书";
  auto plan = TextPlan(text, static_cast<uint32_t>(std::strlen(text)), {});
  ASSERT_EQ(plan.size(), 2u);
  ASSERT_EQ(plan[0].runs.size(), 3u);
  EXPECT_EQ(plan[0].runs[0].lang, RunLang::kChinese);
  EXPECT_EQ(plan[0].runs[0].text, "我在听");
  EXPECT_EQ(plan[0].runs[1].lang, RunLang::kEnglish);
  EXPECT_EQ(plan[0].runs[1].text, "mp3");
  EXPECT_EQ(plan[0].runs[2].text, "音乐，");
  ASSERT_EQ(plan[1].runs.size(), 3u);
  EXPECT_EQ(plan[1].runs[0].text, "银hang2的");
  EXPECT_EQ(plan[1].runs[1].text, "DAISY");
  EXPECT_EQ(plan[1].runs[1].lang, RunLang::kEnglish);
}

TEST(TextPlan, NumbersFollowTheLanguageOfTheText) {
  const char *zh = "10:30开会，共3.5小时";
  auto plan = TextPlan(zh, static_cast<uint32_t>(std::strlen(zh)), {});
  ASSERT_EQ(plan.size(), 2u);  // not cut at the colon of the time
  EXPECT_EQ(plan[0].runs[0].text, "十点三十分开会，");
  EXPECT_EQ(plan[1].runs[0].text, "共三点五小时");
  const char *en = "Page 12 of 30";
  plan = TextPlan(en, static_cast<uint32_t>(std::strlen(en)), {});
  ASSERT_EQ(plan.size(), 1u);
  ASSERT_EQ(plan[0].runs.size(), 1u);
  EXPECT_EQ(plan[0].runs[0].lang, RunLang::kEnglish);
  EXPECT_EQ(plan[0].runs[0].text, "Page 12 of 30");
  TextPlanOptions english;
  english.language = 2;
  plan = TextPlan("第3章", 7, english);
  ASSERT_EQ(plan.size(), 1u);
  ASSERT_EQ(plan[0].runs.size(), 3u);
  EXPECT_EQ(plan[0].runs[1].text, "3");
  EXPECT_EQ(plan[0].runs[1].lang, RunLang::kEnglish);
}

TEST(TextPlan, CodePagesAndBadBytes) {
  const unsigned char gbk[] = {0xc4, 0xe3, 0xba, 0xc3, '1', '2'};  // 你好12
  TextPlanOptions o;
  o.codePage = kCodePageGbk;
  auto plan = TextPlan(gbk, sizeof gbk, o);
  ASSERT_EQ(plan.size(), 1u);
  EXPECT_EQ(plan[0].runs[0].text, "你好十二");
  EXPECT_EQ(plan[0].byteLen, 6u);

  const char *wide = "涨了３．５％";  // full-width digits and signs
  plan = TextPlan(wide, static_cast<uint32_t>(std::strlen(wide)), {});
  ASSERT_EQ(plan.size(), 1u);
  EXPECT_EQ(plan[0].runs[0].text, "涨了百分之三点五");

  const unsigned char utf16[] = {0x60, 0x4f, 0x7d, 0x59, 0x02, 0x30};  // 你好。
  o.codePage = kCodePageUtf16le;
  plan = TextPlan(utf16, sizeof utf16, o);
  ASSERT_EQ(plan.size(), 1u);
  EXPECT_EQ(plan[0].runs[0].text, "你好。");

  const unsigned char broken[] = {0xe4, 0xbd, 'a', 'b', 0xff, 0x80, 'c', 0xe5};
  plan = TextPlan(broken, sizeof broken, {});
  ASSERT_EQ(plan.size(), 1u);
  EXPECT_EQ(plan[0].runs[0].text, "  ab  c ");

  const char *quiet = "……  ，。";
  EXPECT_TRUE(TextPlan(quiet, static_cast<uint32_t>(std::strlen(quiet)), {}).empty());
  EXPECT_TRUE(TextPlan(nullptr, 5, {}).empty());
  const char zeroInside[] = "你好\0世界";
  plan = TextPlan(zeroInside, sizeof zeroInside - 1, {});
  ASSERT_EQ(plan.size(), 1u);
  EXPECT_EQ(plan[0].runs[0].text, "你好");
}

TEST(TextPlan, LongTextIsCutWithoutBreakingNumbersOrWords) {
  std::string text;
  for (int i = 0; i < 30; i++) text += "天气很好12345678 ";
  TextPlanOptions o;
  o.maxClauseChars = 20;
  auto plan = TextPlan(text.data(), static_cast<uint32_t>(text.size()), o);
  ASSERT_GT(plan.size(), 10u);
  uint32_t next = 0;
  for (const TextClause &c : plan) {
    EXPECT_LE(c.charLen, 20u);
    EXPECT_EQ(c.byteStart, next);  // clauses cover the text without gaps
    next = c.byteStart + c.byteLen;
    for (const TextRun &r : c.runs) EXPECT_EQ(r.text.find("12345678"), std::string::npos) << r.text;
  }
  EXPECT_EQ(next, text.size());
}

TEST(TextPlan, PinyinTokens) {
  for (const char *yes : {"hang2", "yin2hang2", "xi5", "lv4", "Zhang3"}) EXPECT_TRUE(TextIsPinyin(yes)) << yes;
  for (const char *no : {"mp3", "hang", "hello2", "a4b", "2", "", "zhang3x"}) EXPECT_FALSE(TextIsPinyin(no)) << no;
}

// Any bytes in any code page: clauses stay inside the text, in order.
TEST(TextPlan, ArbitraryBytesAreSafe) {
  const std::string pieces[] = {"1", "0", ".", ":", "-", "%", "/", ",", "年", "银", "a", "Z", " ", "，",
                                "\xe4", "\x80", "\xff", "\xd8", "\x00", "2024-", "10:", "~", "％", "第"};
  std::mt19937 rng(7);
  for (int round = 0; round < 100; round++) {
    std::string text;
    int n = static_cast<int>(rng() % 40);
    for (int i = 0; i < n; i++) text += pieces[rng() % std::size(pieces)];
    for (int cp : {kCodePageUtf8, kCodePageGbk, kCodePageUtf16le}) {
      TextPlanOptions o;
      o.codePage = cp;
      o.readDigit = static_cast<int>(rng() % 3);
      o.maxClauseChars = 8 + rng() % 20;
      uint32_t end = 0;
      for (const TextClause &c : TextPlan(text.data(), static_cast<uint32_t>(text.size()), o)) {
        EXPECT_GE(c.byteStart, end);
        end = c.byteStart + c.byteLen;
        EXPECT_LE(end, text.size());
        EXPECT_FALSE(c.runs.empty());
      }
    }
  }
}

}  // namespace
