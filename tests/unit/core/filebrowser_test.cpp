// The file browser: the name order, listing and speaking, opening files in
// registered players, and the file commands with their data-safety rules.
// The copy and delete jobs run on worker dialogs: run these under the
// ThreadSanitizer preset as well.
#include "core/library/filebrowser.h"
#include "support/files.h"

#include "core/runtime/globals.h"
#include "core/library/bookmark.h"
#include "core/runtime/config.h"
#include "core/ui/dialog.h"
#include "core/runtime/machine.h"
#include "ebook/charset.h"
#include "menu/mdata.h"
#include "support/keys.h"
#include "support/temp_root.h"
#include "support/transcript.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

void installTable(const TempRoot &root) {
  fs::copy_file(SourcePath("/data/ChnCharIndexs.bin"), root.at("/home/ChnCharIndexs.bin"),
                fs::copy_options::overwrite_existing);
}

std::vector<std::string> sorted(std::vector<std::string> names, int ascending = 1) {
  FileOrderList list;
  FileOrderListReset(&list);
  for (const std::string &n : names) FileOrderListAdd(&list, n.c_str());
  SortFileByName(&list, ascending, LogicalStrCmp);
  std::vector<std::string> out;
  for (int i = 0; i < list.count; i++) out.emplace_back(FileOrderListGet(&list, i));
  return out;
}

// The order a listener hears, written from the rules (digits as numbers,
// then Latin without regard to case, then Chinese by pinyin; hyphens count
// only as a tie-break), not from the program's output.
const std::vector<std::string> kGolden = {
    "2.txt",       "10.txt",      "a2.txt",        "A3.txt",       "a10.txt",   "b.txt",
    "track1.mp3",  "track-1.mp3", "track2.mp3",    "Zoo.txt",      "阿姨.txt",  "爸爸.txt",
    "第2章.txt",   "第10章.txt",  "张三.txt",      "中文.txt"};

TEST(NameOrder, GoldenListingOfDigitsLatinAndChinese) {
  TempRoot root;
  installTable(root);
  LogicalStrCmpReset();
  // Every starting order gives the same listing.
  std::vector<std::string> input = kGolden;
  std::reverse(input.begin(), input.end());
  EXPECT_EQ(sorted(input), kGolden);
  std::rotate(input.begin(), input.begin() + 5, input.end());
  EXPECT_EQ(sorted(input), kGolden);
  std::vector<std::string> down = kGolden;
  std::reverse(down.begin(), down.end());
  EXPECT_EQ(sorted(kGolden, 0), down);
}

TEST(NameOrder, PairsFollowTheRules) {
  ASSERT_EQ(register_iconv_cd(), 0);
  TempRoot root;
  installTable(root);
  LogicalStrCmpReset();
  struct Case {
    const char *a, *b;
    int sign;
  } cases[] = {
      {"a2", "a10", -1},            // numbers, not digits
      {"track1", "track-1", -1},    // hyphens ignored, then the one with it later
      {"track-1", "track1", 1},
      {"ABC", "abc", -1},           // equal but for case: byte order decides
      {"abc", "abd", -1},
      {"x99999999999999999999", "x100000000000000000000", -1},  // longer than any integer
      {"007", "7", -1},             // equal numbers: the digits decide
      {"a", "ab", -1},
      {"ab", "a", 1},
      {"Zoo", "阿", -1},            // Latin before Chinese
      {"9", "a", -1},               // digits before Latin
      {"北京", "上海", -1},         // bei before shang
      {"上海", "天津", -1},         // shang before tian
      {"\xC9\xCF\xBA\xA3", "北京", 1},  // a GBK name by its text: shang after bei
  };
  for (const Case &c : cases) {
    int r = LogicalStrCmp(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    int back = LogicalStrCmp(c.b, c.a);
    EXPECT_EQ((back > 0) - (back < 0), -c.sign) << c.b << " vs " << c.a;
  }
  // A listing converts a GBK name once and sorts it by its text too.
  EXPECT_EQ(sorted({"天津", "\xC9\xCF\xBA\xA3", "北京"}), (std::vector<std::string>{"北京", "\xC9\xCF\xBA\xA3", "天津"}));
}

TEST(NameOrder, BytesThatAreNotUtf8NeverReadPastTheEnd) {
  TempRoot root;
  installTable(root);
  LogicalStrCmpReset();
  const char gbk[] = {'\xd6', '\xd0', '\xce', 0};  // GBK, cut inside a character
  const char lead[] = {'\xe4', 0};
  EXPECT_NE(LogicalStrCmp(gbk, "a"), 0);
  EXPECT_EQ(LogicalStrCmp(lead, lead), 0);
  EXPECT_NE(LogicalStrCmp(lead, gbk), 0);
}

TEST(NameOrder, WithoutTheTableTheListIsReversed) {
  TempRoot root;
  LogicalStrCmpReset();
  EXPECT_EQ(LogicalStrCmp("a", "b"), 0);
  EXPECT_EQ(sorted({"c", "a", "b"}), (std::vector<std::string>{"b", "a", "c"}));
  LogicalStrCmpReset();
}

TEST(FileOrderListTest, GrowsPastItsFirstBuffersAndRefusesLongNames) {
  FileOrderList list;
  FileOrderListReset(&list);
  for (int i = 0; i < 2500; i++) ASSERT_EQ(FileOrderListAdd(&list, ("name number " + std::to_string(i)).c_str()), 0);
  EXPECT_EQ(list.count, 2500);
  EXPECT_STREQ(FileOrderListGet(&list, 2499), "name number 2499");
  EXPECT_EQ(FileOrderListAdd(&list, std::string(4096, 'x').c_str()), -1);
  EXPECT_EQ(FileOrderListAdd(&list, std::string(4095, 'x').c_str()), 0);
  EXPECT_EQ(FileOrderListGet(&list, 2501), nullptr);
  FileOrderListReset(&list);
  EXPECT_EQ(list.count, 0);
  EXPECT_EQ(list.names.size(), 4096u);
  EXPECT_EQ(list.offsets.size(), 1024u);
}

// ---- The screen ----

Activity *g_opened = nullptr;
int g_openV1 = -1, g_openV2 = -1;
std::string g_openPath;
Activity g_player;

Activity *openPlayer(Activity *browser, int v1, int v2) {
  g_openV1 = v1;
  g_openV2 = v2;
  g_openPath = FileBrowserCurPath(browser);
  g_player = {"Player", 0, [](Activity *, const KeyEvent *) { return 1; }, [](Activity *) { return 0; },
              [](Activity *a) { return a->active = 0; }, 0, nullptr};
  ActivityAdd(&g_player);
  return g_opened = &g_player;
}
Activity *failPlayer(Activity *, int, int) { return nullptr; }
int bookTitle(const char *path, char *buf, int size) {
  std::snprintf(buf, static_cast<size_t>(size), "Title of %s", fs::path(path).parent_path().filename().c_str());
  return 0;
}

class Browser : public ::testing::Test {
 protected:
  void SetUp() override {
    MLanguageSetting = 0;
    CfgFileSortAscent = 1;
    CardIsTf = 1;
    installTable(root);
    LogicalStrCmpReset();
    BookMarkInit();
    mount("/mnt/emmc");
  }
  void TearDown() override {
    ActivityRemove(&g_player);
    WaitOnScreenThread([] { return ActivityGetNumb() <= 1; });
    DialogDeInit();
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
    for (int k = 0; k < FILE_KINDS; k++) FileBrowserRegisterPlayer(k, nullptr);
    BookMarkDeInit();
    MLanguageSetting = 0;
    delete[] LastPath;
    LastPath = nullptr;
  }
  void mount(const std::string &mp) {
    mounts += "/dev/x " + mp + " vfat rw 0 0\n";
    root.write("/proc/mounts", mounts);
  }
  void file(const std::string &path, const std::string &content = "") { root.write(path, content); }
  Activity *create(const char *path = nullptr) {
    b = FileBrowserCreate(path);
    if (b) ActivitySetActive(b, 1);
    return b;
  }
  int key(int code) {
    KeyEvent k{KEY_TYPE_PRESS, code};
    return FileBrowserKey(b, &k);
  }
  std::string said(int code) {
    size_t n = TranscriptLines().size();
    key(code);
    auto s = TranscriptSince(n);
    return s.empty() ? "" : s.back();
  }
  // Whether text was spoken after the first `from` lines.
  bool heard(const std::string &text, size_t from) {
    auto s = TranscriptSince(from);
    return std::find(s.begin(), s.end(), text) != s.end();
  }
  size_t mark() { return TranscriptLines().size(); }
  std::string last() { return LastSpoken(); }
  // Runs a menu command that starts a worker dialog and waits until the
  // dialog has ended.
  void runJob(const std::function<void()> &start, bool confirm = false) {
    start();
    if (confirm) {
      ASSERT_TRUE(WaitOnScreenThread([] { return ActivityGetNumb() == 2; }));
      KeyEvent ok{KEY_TYPE_PRESS, VKEY_OK};
      ActivityKeyCallBack(&ok);
    }
    ASSERT_TRUE(WaitOnScreenThread([] { return ActivityGetNumb() == 1; }));
  }
  TempRoot root;
  std::string mounts;
  Activity *b = nullptr;
};

TEST_F(Browser, StartsOnTheDeviceListAtTheInternalMemory) {
  ASSERT_NE(create(), nullptr);
  EXPECT_EQ(FileBrowserCurDir(b), "/mnt");
  EXPECT_EQ(last(), "本机磁盘");
  EXPECT_EQ(said(VKEY_DOWN), "TF卡");
  EXPECT_EQ(said(VKEY_OK), "没有TF卡");  // not mounted: not entered
  EXPECT_EQ(FileBrowserCurDir(b), "/mnt");
  CardIsTf = 0;
  MLanguageSetting = 1;
  EXPECT_EQ(said(VKEY_ESC), "SD card");
  EXPECT_EQ(said(VKEY_OK), "No sd card");
}

TEST_F(Browser, EntersADeviceAnnouncingItsRootAndRemembersWhereItLeft) {
  file("/mnt/emmc/books/one.txt", "1");
  file("/mnt/emmc/books/two.txt", "22");
  file("/mnt/emmc/music/x.mp3");
  ASSERT_NE(create(), nullptr);
  EXPECT_EQ(said(VKEY_OK), "根目录. books. 文件夹");
  EXPECT_EQ(said(VKEY_DOWN), "music. 文件夹");
  EXPECT_EQ(said(VKEY_UP), "books. 文件夹");
  EXPECT_EQ(said(VKEY_OK), "one.txt. 1字节");
  EXPECT_EQ(said(VKEY_DOWN), "two.txt. 2字节");
  EXPECT_EQ(said(VKEY_BACK), "根目录. books. 文件夹");
  EXPECT_EQ(said(VKEY_OK), "two.txt. 2字节");  // the entry current when it was left
  EXPECT_EQ(said(VKEY_ESC), "two.txt. 2字节, 当前第2个文件, 总共2个文件");
  key(VKEY_BACK);
  EXPECT_EQ(said(VKEY_ESC), "根目录,books. 文件夹, 当前第1个文件, 总共2个文件");
  EXPECT_EQ(said(VKEY_BACK), "本机磁盘");
  EXPECT_EQ(said(VKEY_BACK), "");  // nothing above the device list
}

TEST_F(Browser, SpeaksSizesInTheirUnits) {
  struct Case {
    uintmax_t size;
    const char *zh, *en;
  } cases[] = {
      {0, "f. 0字节", "f. 0byte"},
      {1024, "f. 1024字节", "f. 1024byte"},
      {1536, "f. 1.50K字节", "f. 1.50KB"},
      {1048576, "f. 1024.00K字节", "f. 1024.00KB"},
      {1048576 + 10 * 10486, "f. 1.09兆", "f. 1.09MB"},
      {3ull << 30 | 1ull << 29, "f. 3.50GB", "f. 3.50GB"},
  };
  file("/mnt/emmc/f");
  ASSERT_NE(create("/mnt/emmc/f"), nullptr);
  for (const Case &c : cases) {
    fs::resize_file(root.at("/mnt/emmc/f"), c.size);  // sparse: no disk used
    MLanguageSetting = 0;
    EXPECT_EQ(said(VKEY_UP), c.zh);
    MLanguageSetting = 1;
    EXPECT_EQ(said(VKEY_UP), c.en);
  }
}

TEST_F(Browser, MovesByOneAndByTenWithinTheList) {
  for (int i = 1; i <= 25; i++) file("/mnt/emmc/" + std::to_string(i) + ".txt");
  ASSERT_NE(create("/mnt/emmc/1.txt"), nullptr);
  EXPECT_EQ(said(VKEY_UP), "25.txt. 0字节");    // wraps to the last
  EXPECT_EQ(said(VKEY_DOWN), "1.txt. 0字节");   // and back to the first
  EXPECT_EQ(said(VKEY_LEFT), "1.txt. 0字节");   // stops at the first
  EXPECT_EQ(said(VKEY_RIGHT), "11.txt. 0字节");
  EXPECT_EQ(said(VKEY_RIGHT), "21.txt. 0字节");
  EXPECT_EQ(said(VKEY_RIGHT), "25.txt. 0字节");  // stops at the last
}

TEST_F(Browser, HiddenEntriesAndLinksAreNotListedAndEmptyFoldersSaySo) {
  file("/mnt/emmc/a/.hidden");
  fs::create_directories(root.at("/mnt/emmc/a/.dir"));
  fs::create_symlink(root.at("/home"), root.at("/mnt/emmc/a/link"));
  ASSERT_NE(create("/mnt/emmc/a/.hidden"), nullptr);
  EXPECT_EQ(FileBrowserGetCount(b), 0);
  EXPECT_EQ(last(), "空文件夹");
}

TEST_F(Browser, ADaisyFolderListsOnlyControlFilesByTitle) {
  file("/mnt/emmc/daisy/book1/ncc.html", "<html/>");
  file("/mnt/emmc/daisy/book1/a.smil");
  file("/mnt/emmc/daisy/book1/readme.txt");
  ASSERT_NE(create("/mnt/emmc/daisy/book1/a.smil"), nullptr);
  EXPECT_EQ(FileBrowserGetCount(b), 1);
  EXPECT_EQ(last(), "ncc.html");  // no DAISY player yet: the name
  FileBrowserPlayer daisy{nullptr, openPlayer, bookTitle};
  ASSERT_EQ(FileBrowserRegisterPlayer(FILE_KIND_DAISY, &daisy), 0);
  EXPECT_EQ(said(VKEY_ESC), "Title of book1, 当前第1个文件, 总共1个文件");
  MarkAddItem(MARK_DAISY_HISTORY, "/mnt/emmc/daisy/book1/ncc.html", "Title of book1", "12", "34", 0, 3);
  key(VKEY_OK);
  EXPECT_EQ(g_openV1, 12);
  EXPECT_EQ(g_openV2, 34);
}

TEST_F(Browser, OpensFilesInTheirPlayersAtTheHistoryPosition) {
  file("/mnt/emmc/music/song.mp3");
  file("/mnt/emmc/music/book.txt");
  file("/mnt/emmc/music/x.unknown");
  ASSERT_NE(create("/mnt/emmc/music/song.mp3"), nullptr);
  EXPECT_EQ(said(VKEY_OK), "不支持此类文件");  // no music player registered
  FileBrowserPlayer audio{nullptr, openPlayer, nullptr};
  FileBrowserPlayer ebook{nullptr, failPlayer, nullptr};
  ASSERT_EQ(FileBrowserRegisterPlayer(FILE_KIND_AUDIO, &audio), 0);
  ASSERT_EQ(FileBrowserRegisterPlayer(FILE_KIND_EBOOK, &ebook), 0);
  MarkAddItem(MARK_AUDIO_HISTORY, "/mnt/emmc/music/song.mp3", "song.mp3", nullptr, nullptr, 61500, 0);
  key(VKEY_OK);
  EXPECT_EQ(g_openPath, "/mnt/emmc/music/song.mp3");
  EXPECT_EQ(g_openV1, 61500);
  EXPECT_EQ(GetCurrentActivity(), &g_player);
  EXPECT_TRUE(g_player.active);
  ActivityRemove(&g_player);
  EXPECT_EQ(said(VKEY_UP), "book.txt. 0字节");
  EXPECT_EQ(said(VKEY_OK), "文件已损坏");
  // The e-book history keeps the page and the sentence in that page.
  MarkAddItem(MARK_EBOOK_HISTORY, "/mnt/emmc/music/book.txt", "book.txt", nullptr, nullptr, 6, 3);
  FileBrowserPlayer reader{nullptr, openPlayer, nullptr};
  ASSERT_EQ(FileBrowserRegisterPlayer(FILE_KIND_EBOOK, &reader), 0);
  key(VKEY_OK);
  EXPECT_EQ(g_openV1, 3);
  EXPECT_EQ(g_openV2, 6);
  ActivityRemove(&g_player);
  ActivityReshow(GetCurrentActivity());
  key(VKEY_DOWN);
  EXPECT_EQ(said(VKEY_DOWN), "x.unknown. 0字节");
  EXPECT_EQ(said(VKEY_OK), "不支持此类文件");
  EXPECT_EQ(FileBrowserRegisterPlayer(FILE_KINDS, &audio), -1);
  FileBrowserPlayer none{};
  EXPECT_EQ(FileBrowserRegisterPlayer(FILE_KIND_AUDIO, &none), -1);
  std::vector<int> audioFiles = GetFileList(b, [](const char *, const char *n) { return fs::path(n).extension() == ".mp3" ? 1 : 0; });
  EXPECT_EQ(audioFiles, std::vector<int>{1});
}

TEST_F(Browser, StartsAtTheSavedPathOrFallsBackToTheDevices) {
  file("/mnt/emmc/a/b.txt");
  ASSERT_NE(create("/mnt/emmc/a/b.txt"), nullptr);
  EXPECT_EQ(last(), "b.txt. 0字节");
  for (const char *gone : {"/mnt/emmc/a/gone.txt", "nothing", "/x", "/mnt/sdcard/a"}) {
    ASSERT_NE(create(gone), nullptr) << gone;
    EXPECT_EQ(FileBrowserCurDir(b), "/mnt") << gone;
  }
  ASSERT_NE(create("/mnt/emmc/a/"), nullptr);
  EXPECT_EQ(FileBrowserCurPath(b), "/mnt/emmc/a/b.txt");
}

TEST_F(Browser, PowerOffStoresTheCurrentEntry) {
  file("/mnt/emmc/a/b.txt");
  ASSERT_NE(create("/mnt/emmc/a/b.txt"), nullptr);
  key(VKEY_POWEROFF);
  ASSERT_NE(LastPath, nullptr);
  EXPECT_STREQ(LastPath, "/mnt/emmc/a/b.txt");
  EXPECT_EQ(last(), "正在关机");
  EXPECT_EQ(ActivityGetNumb(), 0);
}

TEST_F(Browser, CardAndUsbDiskKeysMoveTheBrowser) {
  mount("/mnt/sdcard");
  file("/mnt/sdcard/card.txt");
  file("/mnt/emmc/in.txt");
  ASSERT_NE(create("/mnt/emmc/in.txt"), nullptr);
  EXPECT_EQ(said(VKEY_SDIN), "card.txt. 0字节");
  EXPECT_EQ(FormatSd.visible, 1);
  EXPECT_EQ(said(VKEY_SDOUT), "本机磁盘");
  EXPECT_EQ(FormatSd.visible, 0);
  EXPECT_EQ(key(VKEY_VOLADD), 1);  // volume keys go on to the distributor
  EXPECT_EQ(key(VKEY_AUDIOEND), 0);
}

TEST_F(Browser, UsbModeHandsTheStorageOverUntilTheCableGoes) {
  file("/mnt/emmc/in.txt");
  root.write("/dev/mmcblk1p1", "");
  ASSERT_NE(create("/mnt/emmc/in.txt"), nullptr);
  std::string before = root.read("/host/commands.txt");
  EXPECT_EQ(said(VKEY_USBIN), "USB连接中...");
  EXPECT_EQ(said(VKEY_DOWN), "USB连接中...");
  EXPECT_EQ(said(VKEY_POWEROFF), "USB连接中...");
  EXPECT_EQ(said(VKEY_USBOUT), "in.txt. 0字节");
  std::string cmds = root.read("/host/commands.txt").substr(before.size());
  EXPECT_EQ(cmds,
            "rmmod g_mass_storage\numount /mnt/emmc\numount /mnt/sdcard\n"
            "insmod /lib/modules/3.10.14/g_mass_storage.ko luns=2 file=/dev/mmcblk0p3,/dev/mmcblk1p1  removable=1,1\n"
            "rmmod g_mass_storage\ninsmod /lib/modules/3.10.14/g_mass_storage.ko file=/home/tdev  removable=1\n"
            "mount /dev/mmcblk0p3 /mnt/emmc\nmount /dev/mmcblk1p1 /mnt/sdcard\n");
}

// ---- File commands ----

TEST_F(Browser, CopyToTheCardGivesAnIdenticalTree) {
  mount("/mnt/sdcard");
  file("/mnt/emmc/tree/a.txt", "alpha");
  file("/mnt/emmc/tree/sub/b.bin", std::string(3 << 20, 'b'));  // three copy chunks
  file("/mnt/emmc/tree/sub/deeper/c.txt", "");
  ASSERT_NE(create("/mnt/emmc/tree"), nullptr);
  size_t from = mark();
  runJob([&] { MenuSendTo(b, 0, 0); });
  EXPECT_TRUE(heard("复制完成...", from));
  for (const char *f : {"/tree/a.txt", "/tree/sub/b.bin", "/tree/sub/deeper/c.txt"})
    EXPECT_EQ(root.read(std::string("/mnt/sdcard") + f), root.read(std::string("/mnt/emmc") + f)) << f;
  EXPECT_EQ(fs::last_write_time(root.at("/mnt/sdcard/tree/a.txt")), fs::last_write_time(root.at("/mnt/emmc/tree/a.txt")));
  EXPECT_EQ(FileBrowserCurPath(b), "/mnt/emmc/tree");
  // Sending again would replace the copy: refused, nothing touched.
  root.write("/mnt/sdcard/tree/a.txt", "changed on the card");
  EXPECT_EQ(MenuSendTo(b, 0, 0), -1);
  EXPECT_EQ(last(), "操作失败...");
  EXPECT_EQ(root.read("/mnt/sdcard/tree/a.txt"), "changed on the card");
}

TEST_F(Browser, PasteRulesKeepEveryFile) {
  file("/mnt/emmc/a/keep.txt", "mine");
  file("/mnt/emmc/b/keep.txt", "other");
  file("/mnt/emmc/a/sub/x.txt", "x");
  ASSERT_NE(create("/mnt/emmc/a/keep.txt"), nullptr);
  EXPECT_EQ(MenuPasteFile(b, 0, 0), -1);  // nothing marked
  ASSERT_EQ(MenuCopyFile(b, 0, 0), 0);
  EXPECT_EQ(last(), "已设置复制标志：keep.txt");
  // Into the folder that holds it: the file stays as it is.
  EXPECT_EQ(MenuPasteFile(b, 0, 0), -1);
  EXPECT_EQ(last(), "操作失败...");
  EXPECT_EQ(root.read("/mnt/emmc/a/keep.txt"), "mine");
  // Over a file of that name: never replaced.
  FilebrowserLoadDir(b, "/mnt/emmc/b", nullptr);
  EXPECT_EQ(MenuPasteFile(b, 0, 0), -1);
  EXPECT_EQ(root.read("/mnt/emmc/b/keep.txt"), "other");
  // A cut of the same name over it: refused too, the source stays.
  FilebrowserLoadDir(b, "/mnt/emmc/a", "keep.txt");
  MenuCutFile(b, 0, 0);
  EXPECT_EQ(last(), "已设置剪切标志：keep.txt");
  FilebrowserLoadDir(b, "/mnt/emmc/b", nullptr);
  EXPECT_EQ(MenuPasteFile(b, 0, 0), -1);
  EXPECT_EQ(root.read("/mnt/emmc/a/keep.txt"), "mine");
  EXPECT_EQ(root.read("/mnt/emmc/b/keep.txt"), "other");
  // A folder into itself or below it.
  FilebrowserLoadDir(b, "/mnt/emmc", "a");
  MenuCopyFile(b, 0, 0);
  FilebrowserLoadDir(b, "/mnt/emmc/a/sub", nullptr);
  EXPECT_EQ(MenuPasteFile(b, 0, 0), -1);
  FilebrowserLoadDir(b, "/mnt/emmc/a", nullptr);
  EXPECT_EQ(MenuPasteFile(b, 0, 0), -1);
  // The device list and a device root cannot be marked or pasted into.
  FilebrowserLoadDir(b, nullptr, nullptr);
  EXPECT_EQ(MenuCopyFile(b, 0, 0), -1);
  EXPECT_EQ(MenuDeleteFile(b, 0, 0), -1);
  EXPECT_EQ(MenuPasteFile(b, 0, 0), -1);
  EXPECT_TRUE(root.exists("/mnt/emmc/a/sub/x.txt"));
}

TEST_F(Browser, AFullCardLeavesNoPartialCopy) {
  mount("/mnt/sdcard");
  file("/mnt/emmc/big/one.bin", std::string(600000, '1'));
  file("/mnt/emmc/big/two.bin", std::string(600000, '2'));
  root.write("/proc/diskfree", "/mnt/sdcard 1000000\n");
  ASSERT_NE(create("/mnt/emmc/big"), nullptr);
  MenuCopyFile(b, 0, 0);
  FilebrowserLoadDir(b, "/mnt/sdcard", nullptr);
  size_t from = mark();
  runJob([&] { MenuPasteFile(b, 0, 0); });
  EXPECT_TRUE(heard("磁盘已满...", from));
  EXPECT_FALSE(root.exists("/mnt/sdcard/big"));
  EXPECT_TRUE(root.exists("/mnt/emmc/big/two.bin"));
  // A cut that does not fit moves nothing.
  FilebrowserLoadDir(b, "/mnt/emmc", "big");
  MenuCutFile(b, 0, 0);
  FilebrowserLoadDir(b, "/mnt/sdcard", nullptr);
  MLanguageSetting = 1;
  from = mark();
  runJob([&] { MenuPasteFile(b, 0, 0); });
  EXPECT_TRUE(heard("Disk full", from));
  EXPECT_EQ(root.read("/mnt/emmc/big/one.bin").size(), 600000u);
  // With room it goes through, and the cut removes the source.
  root.write("/proc/diskfree", "/mnt/sdcard 2000000\n");
  from = mark();
  runJob([&] { MenuPasteFile(b, 0, 0); });
  EXPECT_TRUE(heard("Done", from));
  EXPECT_EQ(root.read("/mnt/sdcard/big/two.bin"), std::string(600000, '2'));
  EXPECT_FALSE(root.exists("/mnt/emmc/big"));
  EXPECT_EQ(FileBrowserCurPath(b), "/mnt/sdcard/big");
}

// What a power cut left of a copy is settled at the next start: the hidden
// partial copy goes, a move whose copy was whole loses its source, and no
// name the copy did not make is ever removed.
TEST_F(Browser, StartUpSettlesACopyThatACutStopped) {
  struct {
    const char *made, *journal, *gone, *kept;
  } cases[] = {
      {"/mnt/sdcard/.big.partial/one.bin", "/mnt/sdcard/.big.partial\n/mnt/sdcard/big\n/mnt/emmc/big\n",
       "/mnt/sdcard/.big.partial", "/mnt/emmc/big/one.bin"},
      {"/mnt/sdcard/big/one.bin", "/mnt/sdcard/.big.partial\n/mnt/sdcard/big\n/mnt/emmc/big\n", "/mnt/emmc/big",
       "/mnt/sdcard/big/one.bin"},
      {"/mnt/sdcard/big/one.bin", "/mnt/sdcard/big\n/mnt/sdcard/big\n/mnt/emmc/big\n", nullptr,
       "/mnt/emmc/big/one.bin"},
  };
  for (const auto &c : cases) {
    std::filesystem::remove_all(root.at("/mnt"));
    file("/mnt/emmc/big/one.bin", "1");
    file(c.made, "1");
    file("/home/copy.job", c.journal);
    EXPECT_EQ(FileOpsRecover(), c.gone ? 1 : 0) << c.journal;
    if (c.gone) {
      EXPECT_FALSE(root.exists(c.gone)) << c.journal;
    }
    EXPECT_TRUE(root.exists(c.kept)) << c.journal;
    EXPECT_FALSE(root.exists("/home/copy.job"));
  }
}

TEST_F(Browser, AwkwardNamesAreCopiedMovedAndDeletedAsTheyAre) {
  mount("/mnt/sdcard");
  const std::vector<std::string> names = {"it's a \"test\".txt", "semi;colon $(touch pwned) `x`.txt",
                                          std::string("gbk-\xd6\xd0\xce\xc4.txt"), "  spaces  .txt"};
  for (const std::string &n : names) file("/mnt/emmc/odd/" + n, n);
  ASSERT_NE(create("/mnt/emmc/odd"), nullptr);
  for (const std::string &n : names) {
    // Copy to the card.
    FilebrowserLoadDir(b, "/mnt/emmc/odd", n.c_str());
    ASSERT_EQ(FileBrowserCurName(b), n);
    MenuCopyFile(b, 0, 0);
    FilebrowserLoadDir(b, "/mnt/sdcard", nullptr);
    runJob([&] { MenuPasteFile(b, 0, 0); });
    EXPECT_EQ(root.read("/mnt/sdcard/" + n), n);
    // Move within the internal memory: one quoted mv.
    FilebrowserLoadDir(b, "/mnt/emmc/odd", n.c_str());
    MenuCutFile(b, 0, 0);
    fs::create_directories(root.at("/mnt/emmc/moved"));
    FilebrowserLoadDir(b, "/mnt/emmc/moved", nullptr);
    EXPECT_EQ(MenuPasteFile(b, 0, 0), 0) << n;
    EXPECT_EQ(root.read("/mnt/emmc/moved/" + n), n);
    EXPECT_FALSE(root.exists("/mnt/emmc/odd/" + n));
    // Delete from the card.
    FilebrowserLoadDir(b, "/mnt/sdcard", n.c_str());
    runJob([&] { MenuDeleteFile(b, 0, 0); }, true);
    EXPECT_FALSE(root.exists("/mnt/sdcard/" + n)) << n;
  }
  EXPECT_FALSE(root.exists("/pwned"));
  EXPECT_FALSE(fs::exists("pwned"));
  EXPECT_NE(root.read("/host/commands.txt").find("mv '/mnt/emmc/odd/it'\\''s a \"test\".txt'  '/mnt/emmc/moved'"),
            std::string::npos);
}

TEST_F(Browser, DeleteAsksFirstAndMovesToTheNextEntry) {
  for (const char *n : {"a.txt", "b.txt", "c.txt"}) file(std::string("/mnt/emmc/d/") + n);
  file("/mnt/emmc/d/folder/inner/x.txt");
  ASSERT_NE(create("/mnt/emmc/d/b.txt"), nullptr);
  // Cancelled before it starts: nothing removed.
  MenuDeleteFile(b, 0, 0);
  ASSERT_TRUE(WaitOnScreenThread([] { return ActivityGetNumb() == 2; }));
  EXPECT_EQ(last(), "是否删除文件...");
  KeyEvent back{KEY_TYPE_PRESS, VKEY_BACK};
  ActivityKeyCallBack(&back);
  ASSERT_TRUE(WaitOnScreenThread([] { return ActivityGetNumb() == 1; }));
  EXPECT_TRUE(root.exists("/mnt/emmc/d/b.txt"));
  runJob([&] { MenuDeleteFile(b, 0, 0); }, true);
  EXPECT_FALSE(root.exists("/mnt/emmc/d/b.txt"));
  EXPECT_EQ(FileBrowserCurName(b), "c.txt");
  // The last entry: the first becomes current.
  runJob([&] { MenuDeleteFile(b, 0, 0); }, true);
  EXPECT_EQ(FileBrowserCurName(b), "folder");
  // A folder goes with everything in it.
  runJob([&] { MenuDeleteFile(b, 0, 0); }, true);
  EXPECT_FALSE(root.exists("/mnt/emmc/d/folder"));
  EXPECT_EQ(FileBrowserCurName(b), "a.txt");
}

TEST_F(Browser, MountedDevicesAndTheirTypes) {
  struct Case {
    const char *path;
    int type;
  } cases[] = {{"/mnt/emmc", 0}, {"/mnt/emmc/x", 0}, {"/mnt/emmcx", -1}, {"/mnt/sdcard/a/b", 1},
               {"/mnt/usb", 2},  {"/mnt", -1},       {"/home/x", -1}};
  for (const Case &c : cases) EXPECT_EQ(GetMoutPointTypeFpath(c.path), c.type) << c.path;
  EXPECT_EQ(GetMoutPointType("emmc"), 0);
  EXPECT_EQ(GetMoutPointType("sdcard"), 1);
  EXPECT_EQ(GetMoutPointType("usb"), 2);
  EXPECT_EQ(GetMoutPointType("other"), -1);
  EXPECT_EQ(IsMountDir("/mnt/emmc"), 1);
  EXPECT_EQ(IsMountDir("/mnt/sdcard"), 0);
  unsigned total = 0, avail = 0;
  EXPECT_GT(GetMountDeviceSize(0, &total, &avail), 0);
  EXPECT_GT(total, 0u);
  EXPECT_EQ(GetMountDeviceSize(1, &total, &avail), -1);
  EXPECT_EQ(GetMountDeviceSize(7, &total, &avail), -1);
}

}  // namespace
