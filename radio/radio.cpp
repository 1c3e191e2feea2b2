// The radio screen and the station store. The screen owns one Radio with
// one FM band; the chip's driver fills in the band's operations. Leaving
// the screen saves the stations, powers the chip down and frees it all.
#include "radio/radio.h"

#include "board/board.h"
#include "core/clock/alarm.h"
#include "core/runtime/globals.h"
#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "core/runtime/xml.h"
#include "core/ui/menu.h"
#include "menu/mdata.h"
#include "record/record.h"
#include "sound/sound.h"
#include "speech/text_sound.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

Radio *gRadio = nullptr;
int radio_enable_sleep = 0;

namespace {

constexpr char kLogSource[] = "radio/radio.c";
constexpr char kStationFile[] = "/home/radio.xml";
// Far more than a band holds at its finest step: a hostile file stays small.
constexpr size_t kMaxStations = 500;

// Spoken texts, {Chinese, English}.
enum { kSearching, kSearchDone, kNoRadio, kDamaged, kMHz, kKHz };
const char *const kTexts[][2] = {{"搜台中...", "searching..."}, {"搜台完成", "Done"},
                                 {"本机没有收音机", "No radio on this device"}, {"电台列表已损坏", "Station list damaged"},
                                 {"兆赫", "MHz"}, {"千赫", "KHz"}};
const char *const BandIdStr[] = {"fm", "mw", "sw0", "sw1"};
const char *const BandNameInfoStr[][2] = {{"调频", "FM"}, {"中波", "MW"}, {"短波 1", "SW 1"}, {"短波 2", "SW 2"}};

struct RadioScreen {
  Activity head;  // first: the stack holds &head
  Activity *browser = nullptr;
  Radio radio;
};

const xmlChar *X(const char *s) { return reinterpret_cast<const xmlChar *>(s); }

void say(int text, bool wait) {
  int h = text_sound_insert(kTexts[text][PromptLanguage()]);
  if (wait) wait_text_sound_end(h);
}

RadioBand *currentBand(Radio *radio) {
  if (!radio || radio->bands.empty()) return nullptr;
  if (radio->cur_band < 0 || radio->cur_band >= static_cast<int>(radio->bands.size())) {
    LOGW("cur band out of range\n");
    radio->cur_band = 0;
  }
  return &radio->bands[static_cast<size_t>(radio->cur_band)];
}

void correctFreq(RadioBand *band) {
  if (band->station.freq < band->min_freq || band->station.freq > band->max_freq) {
    if (CfgDebugRadio) LOGD("radio correct freq to min\n");
    band->station.freq = band->min_freq;
  }
}

// Reads a number element; a text that is not wholly a number is logged.
bool readFreq(xmlNode *first, const char *name, int *value) {
  int r = XxmlGetValue(first, name, value);
  if (r == -3) {
    char *text = nullptr;
    XxmlGetStr(first, name, &text);
    LOGW("error in get freq: %s\n", text ? text : "");
  }
  return r == 0;
}

void loadBand(RadioBand *band, xmlNode *first) {
  int value = 0;
  if (xmlNode *cur = XxmlEnterPath(first, "cur_station"); cur && readFreq(cur, "freq", &value))
    band->station.freq = value;
  for (xmlNode *n = first; n; n = n->next) {
    if (n->type != XML_ELEMENT_NODE || std::strcmp(reinterpret_cast<const char *>(n->name), "station")) continue;
    RadioStation s;
    if (!n->children || !readFreq(n->children, "freq", &s.freq) || s.freq <= 0) continue;
    char *name = nullptr;
    if (XxmlGetStr(n->children, "name", &name) == 0 && name) s.name = name;
    if (RadioAddStation(band, s) != 0) break;
  }
  int no = 0;
  band->cur_station = readFreq(first, "station_no", &no) ? no : 0;
  if (band->cur_station < 0 || band->cur_station >= static_cast<int>(band->stations.size()))
    band->cur_station = band->stations.empty() ? -1 : 0;
}

void putStation(xmlNode *parent, const char *name, const RadioStation &s) {
  xmlNode *e = xmlNewChild(parent, nullptr, X(name), nullptr);
  XxmlAddText(e, "name", s.name);
  XxmlAddInt(e, "freq", s.freq);
}

void speakFrequency(Radio *radio) {
  RadioBand *band = currentBand(radio);
  if (!band) return;
  int lang = PromptLanguage();
  int f = band->station.freq;
  char text[64];
  if (band->band_id == 0)
    std::snprintf(text, sizeof text, "%d.%d%s", f / 1000000, f % 1000000 / 100000, kTexts[kMHz][lang]);
  else if (band->band_id == 1)
    std::snprintf(text, sizeof text, "%s, %d%s", BandNameInfoStr[1][lang], f / 1000, kTexts[kKHz][lang]);
  else
    std::snprintf(text, sizeof text, "%s, %d.%03d%s", BandNameInfoStr[band->band_id & 3][lang], f / 1000000,
                  f % 1000000 / 1000, kTexts[kMHz][lang]);
  text_sound_insert(text);
}

void tuneAndSpeak(Radio *radio) {
  RadioBand *band = currentBand(radio);
  correctFreq(band);
  band->BandTune(&band->station);
  speakFrequency(radio);
}

// Frees what RadioCreate made; the chip is powered down when it was started.
void freeScreen(RadioScreen *s, bool started) {
  if (started) {
    if (RadioBand *band = currentBand(&s->radio)) band->BandDeInit();
  }
  delete s;
}

void leave(RadioScreen *s) {
  radio_enable_sleep = 0;
  RemoveSleep();
  ActivityRemove(&s->head);
  sound_close_fm();
  RadioSaveStation(&s->radio, s->radio.chip_name.c_str(), kStationFile);
  RestoryAutoShutdown(s->radio.saved_poweroff);
  gRadio = nullptr;
  freeScreen(s, true);
  AutoSetHead();
}

// The radio menu, with the FM path closed while it speaks.
void openMenu(RadioScreen *s) {
  if (Activity *m = MenuCreate(&s->head, &RadioMenu, RadioMenuEnter, RadioMenuExit, s, 1)) {
    ActivitySetActive(m, 1);
    return;
  }
  LOGE("MenuCreate return NULL\n");
  ActivityReshow(&s->head);
}

// RECORD: the recording screen records the radio over this one.
void record(RadioScreen *s) {
  radio_enable_sleep = 0;
  RemoveSleep();
  if (Activity *rec = RecordCreate(s->browser, 1)) {
    ActivitySetActive(rec, 1);
    return;
  }
  radio_enable_sleep = 1;
  ReadySleep();
  ActivityReshow(&s->head);
}

void step(RadioScreen *s, int up) {
  RadioBand *band = currentBand(&s->radio);
  int mode = 0;
  if (ItemGetValue(&StepMode, nullptr, &mode) != 0) {
    LOGW("MenuItemGetValue return error\n");
    mode = 0;
  }
  if (mode == 1) {
    say(kSearching, true);
    if (band->BandSeek(&band->station, up) != 0) LOGW("seek station reutn error\n");
  } else {
    int f = band->station.freq + (up ? band->step : -band->step);
    if (f < band->min_freq) f = band->max_freq;
    else if (f > band->max_freq) f = band->min_freq;
    band->station.freq = f;
  }
  tuneAndSpeak(&s->radio);
}

void stepStation(RadioScreen *s, int up) {
  RadioBand *band = currentBand(&s->radio);
  int n = static_cast<int>(band->stations.size());
  if (n == 0) {
    speakFrequency(&s->radio);
    return;
  }
  int cur = band->cur_station < 0 ? (up ? -1 : 0) : band->cur_station;
  band->cur_station = (cur + (up ? 1 : -1) + n) % n;
  band->station = band->stations[static_cast<size_t>(band->cur_station)];
  tuneAndSpeak(&s->radio);
}

void setVolume(Radio *radio, int delta) {
  RadioVolume = std::max(0, std::min(25, RadioVolume + delta));
  if (radio->chip_volume) radio->chip_volume(RadioVolume);
  if (delta < 0) VolumeDecNoTts();
  else VolumeAddNoTts();
}

int MenuAddStation(void *context, int value, int preview) {
  if (preview || !gRadio) return 0;
  RadioBand *band = currentBand(gRadio);
  if (RadioAddStation(band, band->station) != 0) return -1;
  for (size_t i = 0; i < band->stations.size(); i++)
    if (band->stations[i].freq == band->station.freq) band->cur_station = static_cast<int>(i);
  return 0;
}

int MenuAutoSearch(void *context, int value, int preview) {
  if (preview || !gRadio) return 0;
  RadioBand *band = currentBand(gRadio);
  say(kSearching, true);
  RadioSearchBand(band);
  say(kSearchDone, true);
  if (!band->stations.empty()) {
    band->cur_station = static_cast<int>(band->stations.size()) - 1;
    band->station = band->stations.back();
  }
  // The tune of the station left standing after the search; the screen
  // speaks it when the menu closes.
  correctFreq(band);
  band->BandTune(&band->station);
  return 0;
}

int MenuDelStation(void *context, int value, int preview) {
  if (preview || !gRadio) return 0;
  RadioBand *band = currentBand(gRadio);
  RadioDelStation(band);
  if (band->cur_station >= 0) {
    band->station = band->stations[static_cast<size_t>(band->cur_station)];
    band->BandTune(&band->station);
  }
  return 0;
}

int MenuDelAllStagion(void *context, int value, int preview) {
  if (preview || !gRadio) return 0;
  RadioBand *band = currentBand(gRadio);
  band->stations.clear();
  band->cur_station = -1;
  return 0;
}

int MenuSetarea(void *context, int value, int preview) {
  if (preview || !gRadio) return 0;
  RadioBand *band = currentBand(gRadio);
  return band->BandSetArea(band, value);
}

int MenuSetband(void *context, int value, int preview) { return value == 0 ? 0 : -1; }

}  // namespace

int ReadySleep(void) { return 0; }
int RemoveSleep(void) { return 0; }

int RadioInit(void) {
  MenuBindFunc("MenuAddStation", MenuAddStation);
  MenuBindFunc("MenuAutoSearch", MenuAutoSearch);
  MenuBindFunc("MenuDelStation", MenuDelStation);
  MenuBindFunc("MenuDelAllStagion", MenuDelAllStagion);
  MenuBindFunc("MenuSetarea", MenuSetarea);
  MenuBindFunc("MenuSetband", MenuSetband);
  return 0;
}

int RadioAddStation(RadioBand *band, const RadioStation &station) {
  if (!band) return -1;
  auto it = band->stations.begin();
  while (it != band->stations.end() && it->freq < station.freq) ++it;
  if (it != band->stations.end() && it->freq == station.freq) return 0;
  if (band->stations.size() >= kMaxStations) {
    LOGW("not enough memory\n");
    return -1;
  }
  int at = static_cast<int>(it - band->stations.begin());
  band->stations.insert(it, station);
  if (band->cur_station >= at) band->cur_station++;
  return 0;
}

int RadioDelStation(RadioBand *band) {
  if (!band || band->cur_station < 0 || band->cur_station >= static_cast<int>(band->stations.size())) return -1;
  band->stations.erase(band->stations.begin() + band->cur_station);
  int n = static_cast<int>(band->stations.size());
  if (band->cur_station >= n) band->cur_station = n - 1;
  return 0;
}

int RadioSearchBand(RadioBand *band) {
  if (!band || !band->BandSeek) return 0;
  size_t before = band->stations.size();
  band->station.freq = band->min_freq;
  int last = band->min_freq - 1;
  // A chip whose seek wraps round the band end finds the first stations
  // again: the search ends when a find is not above the last one.
  while (band->BandSeek(&band->station, 1) == 0) {
    int f = band->station.freq;
    if (f < band->min_freq || f > band->max_freq || f <= last) break;
    last = f;
    if (RadioAddStation(band, band->station) != 0) break;
  }
  return static_cast<int>(band->stations.size() - before);
}

int RadioLoadStation(Radio *radio, const char *path) {
  if (!radio || !path) return -1;
  XmlDocPtr doc;
  int r = XxmlReadFile(path, &doc);
  if (r == -1) return -1;
  xmlNode *root = r == 0 ? xmlDocGetRootElement(doc.get()) : nullptr;
  int result = 0;
  char *chip = nullptr;
  if (!root || std::strcmp(reinterpret_cast<const char *>(root->name), "radio_station")) {
    LOGW("xml_file %s no root\n", path);
    result = -2;
  } else if (XxmlGetStr(root->children, "chip", &chip) != 0 || !chip || radio->chip_name != chip) {
    result = -3;
  }
  if (result != 0) {
    // Kept for whoever wants it back (numbered, never overwritten): the
    // next save writes a new file.
    XxmlKeepBad(path);
    return result;
  }
  int cur = 0;
  if (XxmlGetValue(root->children, "cur_band", &cur) == -3) {
    char *text = nullptr;
    XxmlGetStr(root->children, "cur_band", &text);
    LOGW("error in get cur_band: %s\n", text ? text : "");
  }
  radio->cur_band = cur >= 0 && cur < static_cast<int>(radio->bands.size()) ? cur : 0;
  for (xmlNode *n = root->children; n; n = n->next) {
    if (n->type != XML_ELEMENT_NODE || std::strcmp(reinterpret_cast<const char *>(n->name), "band")) continue;
    char *name = nullptr;
    if (!n->children || XxmlGetStr(n->children, "name", &name) != 0 || !name) continue;
    for (RadioBand &band : radio->bands)
      if (band.band_id >= 0 && band.band_id < 4 && !std::strcmp(BandIdStr[band.band_id], name))
        loadBand(&band, n->children);
  }
  return 0;
}

int RadioSaveStation(Radio *radio, const char *chip, const char *path) {
  if (!radio || !chip || !path) return -1;
  XmlDocPtr doc(xmlNewDoc(X("1.0")));
  if (!doc) return -1;
  xmlNode *root = xmlNewDocNode(doc.get(), nullptr, X("radio_station"), nullptr);
  xmlDocSetRootElement(doc.get(), root);
  XxmlAddText(root, "chip", chip);
  XxmlAddInt(root, "cur_band", radio->cur_band);
  for (const RadioBand &band : radio->bands) {
    xmlNode *b = xmlNewChild(root, nullptr, X("band"), nullptr);
    XxmlAddText(b, "name", BandIdStr[band.band_id & 3]);
    XxmlAddInt(b, "station_no", band.cur_station);
    putStation(b, "cur_station", band.station);
    for (const RadioStation &s : band.stations) putStation(b, "station", s);
  }
  return XxmlSaveFile(doc.get(), path);
}

Activity *RadioCreate(Activity *browser) {
  auto *s = new (std::nothrow) RadioScreen;
  Radio *radio = s ? &s->radio : nullptr;
  if (!radio) {
    LOGE("Not enough memory\n");
    return nullptr;
  }
  radio->bands.resize(1);
  if (Ar1019RadioInit(radio) != 0 && Rda5807RadioInit(radio) != 0) {
    delete s;
    say(kNoRadio, true);
    return nullptr;
  }
  if (radio->chip_name == "rda5807") sound_setvol(0, -1, 14);
  RadioBand *band = currentBand(radio);
  int area = 0;
  if (!band->BandSetArea || !band->BandInit || !band->BandTune || !band->BandSeek || !band->BandDeInit ||
      ItemGetValue(&SelectArea, nullptr, &area) != 0 || band->BandSetArea(band, area) != 0) {
    freeScreen(s, false);
    return nullptr;
  }
  if (RadioLoadStation(radio, kStationFile) == -2) say(kDamaged, true);
  band = currentBand(radio);
  if (CfgDebugRadio)
    LOGD("total saved station: %d, cur_station: %d\n", static_cast<int>(band->stations.size()), band->cur_station);
  correctFreq(band);
  if (band->BandInit(band) != 0) {
    freeScreen(s, false);
    return nullptr;
  }
  band->BandTune(&band->station);
  RadioVolume = MainVolume;
  radio->chip_volume(RadioVolume);
  if (sound_open_fm() != 0) {
    LOGW("*********************\n");
    freeScreen(s, true);
    return nullptr;
  }
  s->head = {"Radio", 0, RadioKey, RadioShow, RadioHide, 0, s};
  s->browser = browser;
  gRadio = radio;
  radio->saved_poweroff = SaveAndStopAutoShutdown();
  if (ActivityAdd(&s->head) != 0) {
    leave(s);
    return nullptr;
  }
  radio_enable_sleep = 1;
  ReadySleep();
  return &s->head;
}

int RadioShow(Activity *a) {
  auto *s = a ? static_cast<RadioScreen *>(a->data) : nullptr;
  if (!s) return -1;
  speakFrequency(&s->radio);
  return 0;
}

int RadioHide(Activity *a) { return 0; }

void RadioMenuEnter(void *context) { sound_close_fm(); }

void RadioMenuExit(void *context) {
  sound_open_fm();
  radio_enable_sleep = 1;
  ReadySleep();
}

int RadioVolAdd(void) {
  if (gRadio) setVolume(gRadio, 1);
  return 0;
}

int RadioVolDec(void) {
  if (gRadio) setVolume(gRadio, -1);
  return 0;
}

int RadioKey(Activity *a, const KeyEvent *key) {
  auto *s = a ? static_cast<RadioScreen *>(a->data) : nullptr;
  if (!s || !key) return 1;
  switch (key->code) {
    case VKEY_UP:
    case VKEY_DOWN:
      stepStation(s, key->code == VKEY_DOWN);
      return 0;
    case VKEY_LEFT:
    case VKEY_RIGHT:
      step(s, key->code == VKEY_RIGHT);
      return 0;
    case VKEY_ESC:
    case VKEY_FM:
      speakFrequency(&s->radio);
      return 0;
    case VKEY_VOL_:
    case VKEY_VOLADD:
      setVolume(&s->radio, key->code == VKEY_VOL_ ? -1 : 1);
      return 0;
    case VKEY_OK:
      RevAmpEn();
      return 0;
    case VKEY_MENU:
      openMenu(s);
      return 0;
    case VKEY_RECORD:
      record(s);
      return 0;
    case VKEY_BACK:
    case VKEY_POWEROFF:
      leave(s);
      if (key->code == VKEY_POWEROFF) return 1;
      ActivityReshow(GetCurrentActivity());  // the browser, or the screen that was below
      return 0;
    default:
      if ((key->code >= 266 && key->code <= 304) || key->code == VKEY_MP3) {
        radio_enable_sleep = 0;
        RemoveSleep();
      }
      return 1;
  }
}
