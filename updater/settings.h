// The record the updater hands to the file-transfer component, and the event
// codes the component reports. Twenty 32-bit fields in a fixed order: the
// component reads it by position, so neither order nor size may change.
#pragma once

#include <cstdint>

namespace updata {

// Event handler the component calls: (event code, -, value, -, -), stdcall,
// returns 0.
using TransferEventHandler = int32_t(__stdcall*)(int32_t code, int32_t unused1, int32_t value, int32_t unused2,
                                                 int32_t unused3);

enum TransferEvent : int32_t {
  TRANSFER_TOTAL_SIZE = 3,  // value: size of the file in bytes
  TRANSFER_FINISHED = 4,    // the file is in place
  TRANSFER_FAILED = 9,      // nothing was changed
};

// Texts are zero-terminated GBK blocks of the process heap; null is the empty
// text. Numeric fields the component does not use keep their values so the
// record stays what callers expect.
struct TransferSettings {
  int32_t version;            //  1  record layout: 1
  char* source;               //  2  address to download
  char* target;               //  3  file to replace
  char* user_name;            //  4  login for servers that ask for one
  char* password;             //  5
  int32_t attempts;           //  6  connection attempts before giving up
  int32_t resume_offset;      //  7  always 0: every transfer starts afresh
  int32_t connect_timeout;    //  8  ms
  int32_t send_timeout;       //  9  ms
  int32_t receive_timeout;    // 10  ms
  int32_t retry_pause;        // 11  ms between connection attempts
  int32_t write_buffer;       // 12  bytes collected before each file write
  int32_t min_read_chunk;     // 13  smallest read, whatever field 17 says
  int32_t flags;              // 14  0
  TransferEventHandler handler;  // 15
  char* referrer;             // 16  sent when not empty
  int32_t read_chunk;         // 17  bytes asked for per read
  char* extensions;           // 18  "|"-separated endings the target may have
  char* reserved19;           // 19
  char* reserved20;           // 20
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(TransferSettings) == 80, "twenty 32-bit fields");
#endif

}  // namespace updata
