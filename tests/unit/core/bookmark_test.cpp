// The mark store: its lists' rules, the configuration block it writes and
// reads back, the merged view, saving between start and shutdown, and the
// mark list screen.
#include "core/library/bookmark.h"

#include "board/board.h"
#include "core/runtime/app.h"
#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/library/filebrowser.h"
#include "core/runtime/machine.h"
#include "core/runtime/xml.h"
#include "support/keys.h"
#include "support/temp_root.h"
#include "support/transcript.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class Marks : public ::testing::Test {
 protected:
  void SetUp() override {
    std::strcpy(HardType, "q7");
    AppRegisterHooks();  // the bookmark block of the configuration file
    BookMarkInit();
    MLanguageSetting = 0;
  }
  void TearDown() override {
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
    for (int k = 0; k < FILE_KINDS; k++) FileBrowserRegisterPlayer(k, nullptr);
    BookMarkDeInit();
    BoardHostSetClockOffset(0);
  }
  // Saves the store into a document and reads it back into a fresh store.
  std::string roundTrip() {
    XmlDocPtr doc(xmlNewDoc(reinterpret_cast<const xmlChar *>("1.0")));
    xmlNode *root = xmlNewDocNode(doc.get(), nullptr, reinterpret_cast<const xmlChar *>("q7"), nullptr);
    xmlDocSetRootElement(doc.get(), root);
    BookMarkSave(root);
    xmlChar *text = nullptr;
    int len = 0;
    xmlDocDumpMemory(doc.get(), &text, &len);
    std::string out(reinterpret_cast<char *>(text), static_cast<size_t>(len));
    xmlFree(text);
    BookMarkInit();
    BookMarkLoad(root->children->children);
    return out;
  }
  TempRoot root;
};

TEST_F(Marks, BookmarksKeepTheNewest200AndHistoryOnePosition) {
  for (int i = 0; i < 201; i++)
    EXPECT_EQ(MarkAddItem(MARK_AUDIO_BOOKMARK, "/mnt/emmc/a.mp3", "a.mp3", nullptr, nullptr, i, 0), std::min(i + 1, 200));
  Mark *m = MarkArryGet(MARK_AUDIO_BOOKMARK, 0);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->items.front().timeoffset, 200);
  EXPECT_EQ(m->items.back().timeoffset, 1);  // the oldest, 0, is gone
  EXPECT_EQ(MarkAddItem(MARK_EBOOK_HISTORY, "/b.txt", "b.txt", nullptr, nullptr, 0, 5), 1);
  EXPECT_EQ(MarkAddItem(MARK_EBOOK_HISTORY, "/c.txt", "c.txt", nullptr, nullptr, 0, 7), 1);
  EXPECT_EQ(MarkAddItem(MARK_EBOOK_HISTORY, "/b.txt", "b.txt", "", "", 0, 9), 1);
  EXPECT_EQ(MarkFind(MARK_EBOOK_HISTORY, "/b.txt", "b.txt"), 0);  // moved to the top
  EXPECT_EQ(MarkArryGet(MARK_EBOOK_HISTORY, 0)->items[0].charoffset, 9);
  EXPECT_EQ(MarkArryTotal(MARK_EBOOK_HISTORY), 2);
  // Same path, other title: another mark.
  EXPECT_EQ(MarkAddItem(MARK_EBOOK_HISTORY, "/b.txt", "Book B", nullptr, nullptr, 0, 1), 1);
  EXPECT_EQ(MarkArryTotal(MARK_EBOOK_HISTORY), 3);
}

TEST_F(Marks, TheFiftyFirstFilePushesTheLeastRecentOut) {
  for (int i = 0; i < 51; i++) {
    std::string p = "/f" + std::to_string(i);
    MarkAddItem(MARK_DAISY_HISTORY, p.c_str(), "t", "1", "2", 0, 1);
  }
  EXPECT_EQ(MarkArryTotal(MARK_DAISY_HISTORY), 50);
  EXPECT_EQ(MarkFind(MARK_DAISY_HISTORY, "/f0", "t"), -1);
  EXPECT_EQ(MarkFind(MARK_DAISY_HISTORY, "/f50", "t"), 0);
  EXPECT_EQ(MarkFind(MARK_DAISY_HISTORY, "/f1", "t"), 49);
}

TEST_F(Marks, BadArgumentsAreRefused) {
  EXPECT_EQ(MarkAddItem(6, "/a", "a", nullptr, nullptr, 0, 0), -1);
  EXPECT_EQ(MarkAddItem(-1, "/a", "a", nullptr, nullptr, 0, 0), -1);
  EXPECT_EQ(MarkAddItem(0, "", "a", nullptr, nullptr, 0, 0), -1);
  EXPECT_EQ(MarkAddItem(0, "/a", nullptr, nullptr, nullptr, 0, 0), -1);
  EXPECT_EQ(MarkFind(0, "", "a"), -1);
  EXPECT_EQ(MarkFind(9, "/a", "a"), -1);
  EXPECT_EQ(MarkArryTotal(6), -1);
  EXPECT_EQ(MarkArryGet(0, 0), nullptr);
  EXPECT_EQ(MarkDel(0, 0, -1), -1);
}

TEST_F(Marks, DeletingItemsAndMarks) {
  for (int i = 0; i < 3; i++) MarkAddItem(MARK_AUDIO_BOOKMARK, "/a", "a", nullptr, nullptr, i, 0);
  MarkAddItem(MARK_AUDIO_BOOKMARK, "/b", "b", nullptr, nullptr, 0, 0);
  EXPECT_EQ(MarkDel(MARK_AUDIO_BOOKMARK, 1, 3), -1);
  EXPECT_EQ(MarkDel(MARK_AUDIO_BOOKMARK, 1, -2), -1);
  EXPECT_EQ(MarkDel(MARK_AUDIO_BOOKMARK, 1, 1), 0);  // "/a": items 2, 0 stay
  Mark *a = MarkArryGet(MARK_AUDIO_BOOKMARK, 1);
  ASSERT_EQ(a->items.size(), 2u);
  EXPECT_EQ(a->items[1].timeoffset, 0);
  EXPECT_EQ(MarkDel(MARK_AUDIO_BOOKMARK, 0, 0), 0);  // "/b" had one item: the mark goes
  EXPECT_EQ(MarkArryTotal(MARK_AUDIO_BOOKMARK), 1);
  EXPECT_EQ(MarkDel(MARK_AUDIO_BOOKMARK, 0, -1), 0);
  EXPECT_EQ(MarkArryTotal(MARK_AUDIO_BOOKMARK), 0);
}

TEST_F(Marks, TheBlockRoundTripsAnyName) {
  const std::string odd = "/mnt/emmc/<&\"'$>/\xd6\xd0\xce\xc4 name.mp3";  // escapes and GBK bytes
  MarkAddItem(MARK_AUDIO_BOOKMARK, odd.c_str(), "t & $5", nullptr, nullptr, 1000, 0);
  MarkAddItem(MARK_AUDIO_BOOKMARK, odd.c_str(), "t & $5", nullptr, nullptr, 2000, 0);
  MarkAddItem(MARK_DAISY_BOOKMARK, "/d/ncc.html", "Book", "3", "44", 0, 7);
  // A player's choices stay with the history mark as it moves on.
  EXPECT_EQ(MarkSetOptions(MARK_EBOOK_HISTORY, "/b.txt", "b.txt", 950), -1);
  MarkAddItem(MARK_EBOOK_HISTORY, "/b.txt", "b.txt", nullptr, nullptr, 0, 3);
  EXPECT_EQ(MarkSetOptions(MARK_EBOOK_HISTORY, "/b.txt", "b.txt", 950), 0);
  MarkAddItem(MARK_EBOOK_HISTORY, "/b.txt", "b.txt", nullptr, nullptr, 0, 4);
  std::string xml = roundTrip();
  EXPECT_EQ(MarkGetOptions(MARK_EBOOK_HISTORY, "/b.txt", "b.txt"), 950);
  EXPECT_EQ(MarkGetOptions(MARK_DAISY_BOOKMARK, "/d/ncc.html", "Book"), 0);
  EXPECT_NE(xml.find("<mark>"), std::string::npos);
  int i = MarkFind(MARK_AUDIO_BOOKMARK, odd.c_str(), "t & $5");
  ASSERT_EQ(i, 0);
  Mark *m = MarkArryGet(MARK_AUDIO_BOOKMARK, i);
  ASSERT_EQ(m->items.size(), 2u);
  EXPECT_EQ(m->items[0].timeoffset, 2000);
  EXPECT_EQ(m->items[0].ncxref, "");
  Mark *d = MarkArryGet(MARK_DAISY_BOOKMARK, 0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->items[0].ncxref, "3");
  EXPECT_EQ(d->items[0].uri, "44");
  EXPECT_EQ(d->items[0].charoffset, 7);
}

TEST_F(Marks, LoadingSkipsWhatIsIncomplete) {
  root.write("/home/marks.xml",
             "<bookmark>"
             "<mark><path>/ok</path><title>ok</title><type>1</type>"
             "<value><time>5</time><timeoffset>10</timeoffset><charoffset>0</charoffset></value>"
             "<value><time>4</time><timeoffset>20</timeoffset><charoffset>0</charoffset></value></mark>"
             "<mark><path>/no-items</path><title>x</title><type>0</type>"
             "<value><time>5</time><timeoffset>10</timeoffset></value></mark>"
             "<mark><path>/bad-type</path><title>x</title><type>6</type>"
             "<value><time>5</time><timeoffset>1</timeoffset><charoffset>0</charoffset></value></mark>"
             "<mark><title>no path</title><type>0</type></mark>"
             "<mark><path>/t</path><title>x</title><type>0</type>"
             "<value><time>5</time><timeoffset>1</timeoffset><charoffset>0</charoffset></value>"
             "<value><time>x</time><timeoffset>1</timeoffset><charoffset>0</charoffset></value></mark>"
             "</bookmark>");
  XmlDocPtr doc;
  ASSERT_EQ(XxmlReadFile("/home/marks.xml", &doc), 0);
  BookMarkLoad(xmlDocGetRootElement(doc.get())->children);
  ASSERT_EQ(MarkArryTotal(MARK_AUDIO_HISTORY), 1);
  EXPECT_EQ(MarkArryGet(MARK_AUDIO_HISTORY, 0)->items.size(), 1u);  // history keeps one
  EXPECT_EQ(MarkArryTotal(MARK_AUDIO_BOOKMARK), 1);
  EXPECT_EQ(MarkArryGet(MARK_AUDIO_BOOKMARK, 0)->path, "/t");
  EXPECT_EQ(MarkArryGet(MARK_AUDIO_BOOKMARK, 0)->items.size(), 1u);
}

TEST_F(Marks, TheMergedViewIsNewestFirst) {
  BoardHostSetClockOffset(0);
  MarkAddItem(MARK_AUDIO_HISTORY, "/old.mp3", "old", nullptr, nullptr, 0, 0);
  BoardHostSetClockOffset(100);
  MarkAddItem(MARK_EBOOK_HISTORY, "/mid.txt", "mid", nullptr, nullptr, 0, 0);
  BoardHostSetClockOffset(200);
  MarkAddItem(MARK_DAISY_HISTORY, "/new/ncc.html", "new", "0", "0", 0, 1);
  MarkAddItem(MARK_AUDIO_BOOKMARK, "/bm.mp3", "bm", nullptr, nullptr, 0, 0);
  uint32_t table[kMarkTableLength];
  ASSERT_EQ(GetTotalMark(1, table, kMarkTableLength), 3);
  EXPECT_EQ(table[0], (5u << 24) | (0u << 12));
  EXPECT_EQ(table[1], (3u << 24) | (0u << 12));
  EXPECT_EQ(table[2], (1u << 24) | (0u << 12));
  EXPECT_EQ(GetTotalMark(0, table, kMarkTableLength), 1);
  EXPECT_EQ(GetTotalMark(1, table, 2), -1);
}

TEST_F(Marks, ChangesReachTheFileAfterAFlushOrTheDelay) {
  // A file with settings of its own: the save replaces only the marks.
  root.write("/home/q7cfg.xml", "<?xml version=\"1.0\"?>\n<q7><menu><MToneSpeed>4</MToneSpeed></menu>"
                                "<bookmark><mark><path>/gone</path></mark></bookmark></q7>\n");
  EXPECT_EQ(BookMarkAutoSave(1000), 0);  // nothing changed
  MarkAddItem(MARK_AUDIO_HISTORY, "/mnt/emmc/song.mp3", "song.mp3", nullptr, nullptr, 61500, 0);
  EXPECT_EQ(BookMarkDirty(), 1);
  int64_t now = BoardMonotonicUs();
  EXPECT_EQ(BookMarkAutoSave(now + kBookMarkSaveDelayUs / 2), 0);  // not yet
  EXPECT_EQ(BookMarkAutoSave(now + kBookMarkSaveDelayUs + 1), 1);
  EXPECT_EQ(BookMarkDirty(), 0);
  std::string cfg = root.read("/home/q7cfg.xml");
  EXPECT_NE(cfg.find("<MToneSpeed>4</MToneSpeed>"), std::string::npos);
  EXPECT_NE(cfg.find("<timeoffset>61500</timeoffset>"), std::string::npos);
  EXPECT_EQ(cfg.find("/gone"), std::string::npos);
  EXPECT_EQ(root.read("/home/q7cfg.xml.bak"), cfg);
  // A player that leaves its file asks for the save at once.
  MarkAddItem(MARK_AUDIO_HISTORY, "/mnt/emmc/song.mp3", "song.mp3", nullptr, nullptr, 99000, 0);
  BookMarkFlush();
  EXPECT_EQ(BookMarkAutoSave(BoardMonotonicUs()), 1);
  EXPECT_NE(root.read("/home/q7cfg.xml").find("<timeoffset>99000</timeoffset>"), std::string::npos);
  // What the next start reads.
  BookMarkInit();
  ASSERT_EQ(_LoadConfig("/home/q7cfg.xml"), 0);
  ASSERT_EQ(MarkArryTotal(MARK_AUDIO_HISTORY), 1);
  EXPECT_EQ(MarkArryGet(MARK_AUDIO_HISTORY, 0)->items[0].timeoffset, 99000);
}

TEST_F(Marks, WithoutAFileTheBlockStandsAlone) {
  MarkAddItem(MARK_EBOOK_BOOKMARK, "/a.txt", "a.txt", nullptr, nullptr, 0, 3);
  BookMarkFlush();
  EXPECT_EQ(BookMarkAutoSave(BoardMonotonicUs()), 1);
  BookMarkInit();
  ASSERT_EQ(_LoadConfig("/home/q7cfg.xml"), 0);
  EXPECT_EQ(MarkArryTotal(MARK_EBOOK_BOOKMARK), 1);
}

// ---- The list screen ----

// The player a list opens: where it was asked to start.
int g_v1 = -1, g_v2 = -1;
Activity g_player;
Activity *openAt(Activity *, int v1, int v2) {
  g_v1 = v1;
  g_v2 = v2;
  g_player = {"Player", 0, nullptr, [](Activity *) { return 0; }, nullptr, 0, nullptr};
  ActivityAdd(&g_player);
  return &g_player;
}

int key(int code) { return PressKey(code); }

std::string last() { return LastSpoken(); }

TEST_F(Marks, TheListWalksCategoriesAndOpensAnEntry) {
  root.write("/proc/mounts", "/dev/x /mnt/emmc vfat rw 0 0\n");
  root.write("/mnt/emmc/music/song.mp3", "");
  BoardHostSetClockOffset(0);
  MarkAddItem(MARK_AUDIO_BOOKMARK, "/mnt/emmc/music/song.mp3", "song.mp3", nullptr, nullptr, 5000, 0);
  MarkAddItem(MARK_AUDIO_BOOKMARK, "/mnt/emmc/music/song.mp3", "song.mp3", nullptr, nullptr, 65000, 0);
  BoardHostSetClockOffset(100);
  MarkAddItem(MARK_EBOOK_BOOKMARK, "/mnt/emmc/gone.txt", "gone.txt", nullptr, nullptr, 0, 4);
  FileBrowserPlayer audio{nullptr, openAt, nullptr};
  FileBrowserRegisterPlayer(FILE_KIND_AUDIO, &audio);
  Activity *browser = FileBrowserCreate(nullptr);
  ASSERT_NE(browser, nullptr);
  ActivitySetActive(browser, 1);
  ASSERT_EQ(key(VKEY_MARK), 0);
  auto said = TranscriptLines();
  ASSERT_GE(said.size(), 2u);
  EXPECT_EQ(said[said.size() - 2], "全部书签列表");
  EXPECT_EQ(last(), "gone.txt, 总共1个书签");
  key(VKEY_DOWN);
  EXPECT_EQ(last(), "song.mp3, 总共2个书签");
  key(VKEY_RIGHT);
  EXPECT_EQ(last(), "音频书签列表");
  key(VKEY_ESC);
  EXPECT_EQ(last(), "song.mp3, 总共2个书签");
  key(VKEY_OK);  // the bookmarks of the mark
  EXPECT_EQ(last(), "书签2, 1分05秒");
  key(VKEY_DOWN);
  EXPECT_EQ(last(), "书签1, 0分05秒");
  key(VKEY_OK);  // opens the older one in the player, the browser on the file
  EXPECT_EQ(g_v1, 5000);
  EXPECT_EQ(GetCurrentActivity(), &g_player);
  EXPECT_EQ(FileBrowserCurPath(browser), "/mnt/emmc/music/song.mp3");
  ActivityRemove(&g_player);
  // A deleted file: said so, the browser stays.
  key(VKEY_MARK);
  key(VKEY_OK);
  key(VKEY_OK);
  EXPECT_EQ(TranscriptLines()[TranscriptLines().size() - 2], "文件不存在");
  EXPECT_EQ(GetCurrentActivity(), browser);
  // MARK toggles to the history.
  key(VKEY_MARK);
  key(VKEY_MARK);
  EXPECT_EQ(last(), "没有文件");
  key(VKEY_LEFT);
  EXPECT_EQ(last(), "最近听过的 daisy");
  EXPECT_EQ(key(VKEY_POWEROFF), 1);  // closes and travels on
  EXPECT_EQ(GetCurrentActivity(), browser);
}

// E-book marks keep the 0-based page and the sentence of that page; the
// lists speak the page from 1 and open the reader at page and sentence.
TEST_F(Marks, EbookMarksSpeakPagesFromOneAndOpenAtTheirSentence) {
  root.write("/proc/mounts", "/dev/x /mnt/emmc vfat rw 0 0\n");
  root.write("/mnt/emmc/b.txt", "text");
  MarkAddItem(MARK_EBOOK_BOOKMARK, "/mnt/emmc/b.txt", "b.txt", nullptr, nullptr, 7, 4);
  MarkAddItem(MARK_EBOOK_HISTORY, "/mnt/emmc/b.txt", "b.txt", nullptr, nullptr, 2, 0);
  FileBrowserPlayer ebook{nullptr, openAt, nullptr};
  FileBrowserRegisterPlayer(FILE_KIND_EBOOK, &ebook);
  Activity *browser = FileBrowserCreate(nullptr);
  ASSERT_NE(browser, nullptr);
  ActivitySetActive(browser, 1);
  key(VKEY_MARK);
  EXPECT_EQ(last(), "b.txt, 总共1个书签");
  key(VKEY_OK);
  EXPECT_EQ(last(), "书签1, 第5页");
  key(VKEY_OK);
  EXPECT_EQ(g_v1, 4);
  EXPECT_EQ(g_v2, 7);
  ActivityRemove(&g_player);
  key(VKEY_MARK);
  key(VKEY_MARK);
  EXPECT_EQ(last(), "b.txt, 第1页");
  key(VKEY_OK);
  EXPECT_EQ(g_v1, 0);
  EXPECT_EQ(g_v2, 2);
}

}  // namespace
