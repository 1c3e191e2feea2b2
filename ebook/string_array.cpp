// The string containers: one text buffer plus an index of offsets each.
// Offsets rather than pointers, so growing the buffer never invalidates the
// index.
#include "ebook/string_array.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kDefaultBlock = 2048;
constexpr int kDefaultGrow = 100;

// Grows an int index to `entries` entries. Returns false when out of memory.
bool growIndex(int **index, int *size, int entries) {
  if (entries <= *size) return true;
  if (static_cast<size_t>(entries) > SIZE_MAX / sizeof(int)) return false;
  void *p = std::realloc(*index, static_cast<size_t>(entries) * sizeof(int));
  if (!p) return false;
  *index = static_cast<int *>(p);
  *size = entries;
  return true;
}

bool growBuffer(char **buffer, int *size, long long wanted) {
  if (wanted <= *size) return true;
  if (wanted > INT_MAX) return false;
  void *p = std::realloc(*buffer, static_cast<size_t>(wanted));
  if (!p) return false;
  *buffer = static_cast<char *>(p);
  *size = static_cast<int>(wanted);
  return true;
}

}  // namespace

StringArray *StringArray_new(int block, int grow) {
  auto *a = static_cast<StringArray *>(std::calloc(1, sizeof(StringArray)));
  if (!a) return nullptr;
  a->block = block > 0 ? block : kDefaultBlock;
  a->grow = grow > 0 ? grow : kDefaultGrow;
  return a;
}

void StringArray_free(StringArray *array) {
  if (!array) return;
  std::free(array->text);
  std::free(array->index);
  std::free(array);
}

int StringArray_add(StringArray *array, const char *text) {
  if (!array || !text) return -1;
  size_t n = std::strlen(text);
  if (n >= INT_MAX) return -2;
  return StringArray_add_with_length(array, text, static_cast<int>(n));
}

int StringArray_add_with_length(StringArray *array, const char *bytes, int length) {
  if (!array || !bytes || length < 0) return -1;
  if (array->count >= array->index_size &&
      !growIndex(&array->index, &array->index_size, array->index_size + array->grow))
    return -2;
  long long needed = static_cast<long long>(array->text_used) + length + 1;
  if (needed > array->text_size) {
    long long size = static_cast<long long>(array->block) * (needed / array->block + 1);
    if (!growBuffer(&array->text, &array->text_size, size)) return -2;
  }
  std::memcpy(array->text + array->text_used, bytes, static_cast<size_t>(length));
  array->text[array->text_used + length] = '\0';
  array->index[array->count++] = array->text_used;
  array->text_used = static_cast<int>(needed);
  return 0;
}

void StringArray_shrink(StringArray *array) {
  if (!array) return;
  // A failed realloc leaves the larger buffer in place, which is no harm.
  if (array->text && array->text_used > 0 && array->text_used < array->text_size) {
    if (char *t = static_cast<char *>(std::realloc(array->text, static_cast<size_t>(array->text_used)))) {
      array->text = t;
      array->text_size = array->text_used;
    }
  }
  if (array->index && array->count > 0 && array->count < array->index_size) {
    if (int *i = static_cast<int *>(std::realloc(array->index, static_cast<size_t>(array->count) * sizeof(int)))) {
      array->index = i;
      array->index_size = array->count;
    }
  }
}

int StringArray_get_cnt(const StringArray *array) { return array ? array->count : -1; }

const char *StringArray_get(const StringArray *array, int i) {
  if (!array || i < 0 || i >= array->count) return nullptr;
  return array->text + array->index[i];
}

int StringArray_find(const StringArray *array, const char *text) {
  if (!array || !text) return -1;
  for (int i = 0; i < array->count; i++)
    if (std::strcmp(array->text + array->index[i], text) == 0) return i;
  return -1;
}

StringCollection *new_string_collection(int block) {
  auto *c = static_cast<StringCollection *>(std::calloc(1, sizeof(StringCollection)));
  if (!c) return nullptr;
  c->block = block > 0 ? block : kDefaultBlock;
  c->buffer = static_cast<char *>(std::malloc(static_cast<size_t>(c->block)));
  c->index = static_cast<int *>(std::malloc(kDefaultGrow * sizeof(int)));
  if (!c->buffer || !c->index) {
    delete_string_collection(c);
    return nullptr;
  }
  c->buffer_size = c->block;
  c->index_size = kDefaultGrow;
  return c;
}

void delete_string_collection(StringCollection *coll) {
  if (!coll) return;
  std::free(coll->buffer);
  std::free(coll->index);
  std::free(coll);
}

namespace {

// Makes room for `needed` bytes in whole blocks on top of the current size.
bool reserveCollection(StringCollection *c, long long needed) {
  if (needed <= c->buffer_size) return true;
  long long missing = needed - c->buffer_size;
  long long blocks = (missing + c->block - 1) / c->block;
  return growBuffer(&c->buffer, &c->buffer_size, c->buffer_size + blocks * c->block);
}

}  // namespace

int add_string_to_string_collection(StringCollection *coll, const char *text) {
  if (!coll || !text) return -1;
  size_t n = std::strlen(text);
  long long needed = static_cast<long long>(coll->used) + static_cast<long long>(n) + 1;
  if (!reserveCollection(coll, needed)) return -2;
  if (coll->count >= coll->index_size &&
      !growIndex(&coll->index, &coll->index_size, coll->index_size + kDefaultGrow))
    return -3;
  std::memcpy(coll->buffer + coll->used, text, n + 1);
  coll->index[coll->count++] = coll->used;
  coll->used = static_cast<int>(needed);
  return 0;
}

int add_text_to_string_collection(StringCollection *coll, const char *bytes, int length) {
  if (!coll || !bytes || length < 0) return -1;
  if (coll->count <= 0) return -3;
  // The last string's NUL is overwritten; after a removal that is the string
  // before the removed one, and the removed bytes are reused.
  int last = coll->count - 1;
  int end = coll->index[last] + static_cast<int>(std::strlen(coll->buffer + coll->index[last]));
  long long needed = static_cast<long long>(end) + length + 1;
  if (!reserveCollection(coll, needed)) return -2;
  std::memcpy(coll->buffer + end, bytes, static_cast<size_t>(length));
  coll->buffer[end + length] = '\0';
  coll->used = static_cast<int>(needed);
  return 0;
}

const char *get_string_from_string_collection(const StringCollection *coll, int i) {
  if (!coll || i < 0 || i >= coll->count) return nullptr;
  return coll->buffer + coll->index[i];
}

int remove_last_string_in_string_collection(StringCollection *coll) {
  if (!coll || coll->count <= 0) return -1;
  coll->count--;
  return 0;
}

int get_string_cnt_in_string_collection(const StringCollection *coll) { return coll ? coll->count : -1; }

int find_string_cnt_in_string_collection(const StringCollection *coll, const char *text) {
  if (!coll || !text) return -1;
  for (int i = 0; i < coll->count; i++)
    if (std::strcmp(coll->buffer + coll->index[i], text) == 0) return i;
  return -1;
}

const char *find_string_in_string_collection(const StringCollection *coll, const char *text, int n) {
  if (!coll || !text) return nullptr;
  for (int i = 0; i < coll->count; i++) {
    const char *s = coll->buffer + coll->index[i];
    if (n < 0) {
      if (std::strcmp(s, text) == 0) return s;
    } else if (std::strlen(s) == static_cast<size_t>(n) && std::strncmp(s, text, static_cast<size_t>(n)) == 0) {
      return s;
    }
  }
  return nullptr;
}
