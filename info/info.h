// info/info.h: the spoken information strings. Each builder turns numbers,
// times and device facts into the sentence the speech engine reads, in
// Chinese (lang 0) or English (lang 1), and has the shape
// Name(value..., dst, size, lang) -> dst: dst is first made empty, then
// written with snprintf (a long sentence is cut at size). Another language,
// or a sentence the language does not have, leaves dst empty. A null dst or
// a size below 1 is returned untouched. The module holds only constant
// tables; the builders are safe from any thread except where they read the
// clock, the battery or the storage, which are safe too.
#pragma once

#include <cstdint>

// Number words, NumBerInfoStr[lang * 101 + n] for n = 0..100: "0".."100" in
// Chinese, "zero".."one-hundred" in English.
extern const char *const NumBerInfoStr[2 * 101];

// Spoken names of symbols, sorted by code point for bisection.
struct SymbolItem {
  uint32_t code;
  const char *name;
};
extern const SymbolItem SymbolTable[];
extern const char UnknowSymbol[];  // a code point the table does not hold
int SymbolTableItemNumb(void);

// Name of a code point from SymbolTable, or UnknowSymbol.
const char *SymbolName(uint32_t code);

// Times of a play position, seconds split into hours, minutes and seconds;
// the hour is left out below one hour.
char *SecondToStr(int seconds, char *dst, int size, int lang);
char *TotalSecondToStr(int seconds, char *dst, int size, int lang);
char *CurSecondToStr(int seconds, char *dst, int size, int lang);
// What is left, after a prefix by kind: LEFT_FILE "剩余" / "time left ",
// LEFT_SECTION and LEFT_BOOK (a talking book's section and whole book),
// LEFT_READING (an estimate of the reading voice's time).
enum { LEFT_FILE = 0, LEFT_SECTION = 1, LEFT_BOOK = 2, LEFT_READING = 3 };
char *LeftSecondToStr(int kind, int seconds, char *dst, int size, int lang);
// A length the file does not give: "总时间未知" / "total time unknown".
char *UnknownTotalTimeStr(char *dst, int size, int lang);

// Why a file cannot be opened, as the players say it: a file that is
// damaged, a healthy file in a format this player cannot read, and a
// document protected by its author (password or encryption).
enum { OPEN_ERROR_FILE_DAMAGED = 0, OPEN_ERROR_FORMAT_CANNOT_BE_READ = 1, OPEN_ERROR_DOCUMENT_PROTECTED = 2 };
// The spoken text of an OPEN_ERROR_* value (another value: damaged) in
// lang (0 Chinese, anything else English).
const char *OpenErrorText(int why, int lang);

// Counts.
char *PageToStr(int n, char *dst, int size, int lang);
// A page by the label the book prints ("第iv页" / "page iv").
char *PageLabelToStr(const char *label, char *dst, int size, int lang);
char *CurPageToStr(int n, char *dst, int size, int lang);
char *TotalPageToStr(int n, char *dst, int size, int lang);
char *CurLineToStr(int n, char *dst, int size, int lang);
char *TotalLineToStr(int n, char *dst, int size, int lang);
char *CurParagraphToStr(int n, char *dst, int size, int lang);
char *TotalParagraphToStr(int n, char *dst, int size, int lang);
char *MarkToStr(int n, char *dst, int size, int lang);
char *CurMarkToStr(int n, char *dst, int size, int lang);
char *TotalMarkToStr(int n, char *dst, int size, int lang);
char *AlarmAfterMinutes(int n, char *dst, int size, int lang);
char *TimesToStr(int n, char *dst, int size, int lang);
char *AlmTimesToStr(int n, char *dst, int size, int lang);
char *getCopyProcessString(char *dst, int size, int percent, int lang);
char *GetAlarmReminderStr(char *dst, int size, int times, int minutes, int lang);
char *CurTotalFileInfoStr(int cur, int total, char *dst, int size, int lang);

// Date and time setting values.
char *SetHourStr(int hour, char *dst, int size, int lang);
char *SetHour12Str(int hour, char *dst, int size, int lang);  // 0..11 morning, 12..23 afternoon
char *SetMinuteStr(int minute, char *dst, int size, int lang);
char *SetYearStr(int year, char *dst, int size, int lang);
char *SetLYearStr(int year, char *dst, int size, int lang);  // lunar year
char *SetSYearStr(int year, char *dst, int size, int lang);  // Gregorian year
char *SetMonthStr(int month, char *dst, int size, int lang);
char *SetDayStr(int day, char *dst, int size, int lang);
// Lunar date "农历<year>年<month name><day name>" (Chinese only); a month or
// day outside the name lists leaves dst empty.
char *LDataToStr(int year, int month, int day, int leap, char *dst, int size, int lang);
char *SDataToStr(int year, int month, int day, char *dst, int size, int lang);  // Chinese only
// A reminder's date and time: year when >= 1, month and day when > 0, then
// the hour (24-hour, or 上午/下午 as SetHour12Str) and minute. Chinese only.
char *RmdTimeToStr(char *dst, int size, int lang, int year, int month, int day, int hour, int minute, int is24h);

// Timer tool (Chinese only); minutes split into hours and minutes.
char *CalculHMToStr(int minutes, char *dst, int size, int lang);
char *CalculPassedHMToStr(int minutes, char *dst, int size, int lang);
char *CalculPassedAndRemainHMToStr(int minutes, int remain, char *dst, int size, int lang);
char *CalculCustMToStr(int minutes, char *dst, int size, int lang);
char *CalculRemindMToStr(int minutes, char *dst, int size, int lang);
char *CalculPreYTotalHMToStr(int minutes, char *dst, int size, int lang);
char *CalculYTotalHMToStr(int minutes, char *dst, int size, int lang);
char *CalculMTotalHMToStr(int minutes, char *dst, int size, int lang);
char *CalculDTotalHMToStr(int minutes, char *dst, int size, int lang);

// The spoken clock: "现在时间: ..." for the board's current time (UTC),
// 24-hour or 12-hour. Chinese only.
char *SysTimeAndDateStr(int is24h, char *dst, int size, int lang);
// The same sentence for a given time (what SysTimeAndDateStr speaks).
char *TimeAndDateToStr(int64_t seconds, int is24h, char *dst, int size, int lang);

// Battery level from the fuel gauge (GetBatteryStaus, GetBatteryCapacity).
char *BatteryLevelStr(char *dst, int size, int lang);
// The same sentence for a given state (1 charging, 3 full) and capacity
// (negative: unreadable).
char *BatteryStateToStr(int status, int capacity, char *dst, int size, int lang);

// Today's lunar date with stem-branches, dog days or nine nines, and the
// nearest solar term. Chinese only.
char *LunarInfoStr(char *dst, int size, int lang);
// The same sentence for a given time.
char *LunarInfoToStr(int64_t seconds, char *dst, int size, int lang);

// Device information for the system information screen: fills dst and the
// start offset of each item (offsets has count entries, cleared first).
// Returns the number of items, 7 with a maker text and 6 without.
int GetSysInfo(char *dst, int size, int *offsets, int count, int lang);

// Storage information for the memory information screen: the internal
// storage and the card, each as capacity and free space, in Chinese or
// English. Returns 2.
int GetMemInfo(char *dst, int size, int *offsets, int count, int lang);

// A storage size in KiB as spoken by GetMemInfo: "%d.%d 兆, " below 1 GiB,
// else "%d.%d GB, ", one truncated decimal.
char *MemSizeToStr(uint32_t kib, char *dst, int size);
