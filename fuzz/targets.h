#pragma once

#include <cstddef>
#include <cstdint>

// The checks behind the fuzzers, shared with the test that replays their corpora. Each one
// aborts when the code under test gives a result it must never give.
void fuzzDecoder(const uint8_t *data, size_t size);
// A store file of these bytes, read in one pass and through QSettings, which must agree.
void fuzzStore(const uint8_t *data, size_t size);
// Records of a journal beside a small store, each framed as the journal frames them so that
// their contents are read, and any bytes after them as they come.
void fuzzJournal(const uint8_t *data, size_t size);
