// core/library/filebrowser.h: the file browser ("FileBrower"), the bottom screen of
// the stack, created once at start-up and alive until the device is switched
// off. It lists one folder at a time under "/mnt" (the storage devices at
// depth 1), speaks the current entry, walks the tree with the keys, opens
// files in their players with the position from the history, copies, moves,
// deletes and formats, and reacts to the hot-plug keys (card, USB disk, USB
// cable and mass-storage mode).
//
// Threads: keys and shows arrive on the key distribution thread; paste,
// send and delete jobs run on a worker dialog's thread and re-list the folder
// from there. The listing is therefore guarded by the browser's mutex, which
// is never held while speaking or while another screen's callback runs.
// Power-off waits for a running job before it empties the lists.
#pragma once

#include "core/runtime/activity.h"
#include "core/library/file_order.h"
#include "core/library/file_ops.h"
#include "core/library/storage.h"

#include <cstdint>
#include <string>
#include <vector>

// The browser's own record lives in filebrowser.cpp; other modules reach
// its state through the functions below.
struct FileBrowser;

// Creates the browser at fullpath (LastPath): its folder is listed with the
// entry selected; a path that does not exist or has no usable '/' loads the
// device list. Stacks it (not active) and binds the file commands of the
// system menu. Returns the screen, or null when nothing can be listed.
Activity *FileBrowserCreate(const char *fullpath);
int FileBrowserKey(Activity *browser, const KeyEvent *key);
int FileBrowserShow(Activity *browser);
int FileBrowserHide(Activity *browser);

// 1 when the screen is the file browser.
int IsFileBrowser(const Activity *screen);

// Lists dir (null: "/mnt" with "emmc" selected) and makes select_name (null
// or "": the first entry) current, ignoring case. Returns 0, -1 when the
// folder cannot be opened (the old listing stays).
int FilebrowserLoadDir(Activity *browser, const char *dir, const char *select_name);
// Loads the folder of fullpath with its last component selected; a path
// ending in '/' is loaded as a folder; one without a usable '/' loads the
// device list. Returns the load's result.
int FileBrowserLoadFile(Activity *browser, const char *fullpath);
// Lists cur_dir again, keeping the current entry by name. Returns 0, -1.
int FileBrowserReloadDir(Activity *browser);

// Full path of entry index of the current listing ("" when out of range).
std::string GetFullPath(Activity *browser, int index);
// The current entry's index (subfolders first, then files), the number of
// entries, and the current entry's full path and name ("" for an empty
// folder); the folder listed.
int FileBrowserGetCur(Activity *browser);
int FileBrowserGetCount(Activity *browser);
std::string FileBrowserCurPath(Activity *browser);
std::string FileBrowserCurName(Activity *browser);
std::string FileBrowserCurDir(Activity *browser);
// Indices (in list order) of the files for which predicate(cur_dir, name)
// is 1: the players step through the files of their kind with it.
std::vector<int> GetFileList(Activity *browser, int (*predicate)(const char *dir, const char *name));

// ---- Players ----
//
// The players (music, e-book reader, DAISY screen) register here when their
// module starts; OK on a file asks them in the order DAISY (only in a DAISY
// folder), audio, e-book. A kind without a player says the file is not
// supported.
enum { FILE_KIND_AUDIO = 0, FILE_KIND_EBOOK = 1, FILE_KIND_DAISY = 2, FILE_KINDS = 3 };  // = mark type / 2

struct FileBrowserPlayer {
  // 1 when the player opens file name in folder dir. Null: the kind's
  // built-in test (audio extensions, the e-book registry, DAISY control
  // file names).
  int (*check)(const char *dir, const char *name);
  // Opens the browser's current file (FileBrowserCurPath) at a position:
  // audio value1 = ms; e-book value1 = page; DAISY value1 = SMIL index,
  // value2 = element index (0, 0 from the start). Returns the player's
  // screen already stacked (the browser activates it), or null.
  Activity *(*create)(Activity *browser, int value1, int value2);
  // DAISY only (may be null): the book title of a control file into buf.
  // Returns >= 0, negative when there is none (the name is spoken instead).
  int (*title)(const char *path, char *buf, int size);
  // May be null: after create failed, what to say (in language 0 Chinese,
  // 1 English) instead of "can not open the file".
  const char *(*open_error)(int language);
};

// Registers (or with null removes) the player of a kind. Returns 0, -1 for
// a bad kind or a player without create.
int FileBrowserRegisterPlayer(int kind, const FileBrowserPlayer *player);
// Opens the browser's current file in the player of kind at the position.
// Returns 0 (the player is active), -1 when no player is registered (says
// "do not support this file"), -2 when the player could not open it (says
// why: OpenErrorText of what the player told, the file damaged when it told
// nothing).
int FileBrowserOpenPlayer(Activity *browser, int kind, int value1, int value2);
// A player's create that fails tells why first (OPEN_ERROR_* of info/info.h).
void FileBrowserOpenFailed(int why);

// The last step of a player, reader or book screen that has left the stack
// and freed itself. passOn (power-off, the card pulled out): the key goes on
// to the screen below (returns 1) and ContinueLastFile = next, so that the
// file reopens at the next start. Otherwise the screen below speaks again
// (returns 0).
int FileBrowserReturn(bool passOn, int next);
// Key thread, for a save of the settings while the device is on: LastPath
// becomes the browser's current entry, as at power-off. While a player
// opened through FileBrowserOpenPlayer is up, ContinueLastFile already says
// so (the value power-off would give it), so a power cut reopens the file.
void FileBrowserKeepPlace(void);
// What a player told since the last call (OPEN_ERROR_FILE_DAMAGED when
// nothing), and forgets it: for callers of a player's create other than
// FileBrowserOpenPlayer.
int FileBrowserTakeOpenError(void);

// What is spoken when device type (0 internal, 1 card, 2 USB disk) is not
// there, in the prompt language; null for another type.
const char *FileBrowserNotInsertedText(int type);
