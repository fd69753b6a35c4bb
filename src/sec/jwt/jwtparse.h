// JWT parts: Base64url to bytes, and a strict JSON tokenizer that splits
// the bytes into a flat token array without copying or building a tree.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef int32_t jwtype_t;
enum : jwtype_t {
  JWT_PRIMITIVE = 0,  // number, true, false, null
  JWT_OBJECT = 1,
  JWT_ARRAY = 2,
  JWT_STRING = 3,
};

// One token: a byte range in the caller's JSON. For a string the range is
// between the quotes (raw, escapes not decoded).
typedef struct {
  jwtype_t type;
  int32_t begin;   // -1 while unset
  int32_t end;     // one past the last byte; -1 while an object/array is open
  int32_t size;    // direct children; a key has 1 once its value is read
  int32_t parent;  // enclosing token, -1 at top level
} jwtok_t;

typedef struct {
  uint64_t pos;      // next byte to read
  uint32_t toknext;  // next free token
  int32_t toksuper;  // token new ones attach to, -1 for none
} jwt_parser;

// Results of jwtParse below 0.
enum : int32_t {
  JWT_ERROR_NOMEM = -1,  // token array too small
  JWT_ERROR_INVAL = -2,  // invalid character or structure
  JWT_ERROR_PART = -3,   // input ends inside a value
};

// Results of jwtExtract2Json.
enum : int32_t {
  JWT_EXTRACT_OK = 0,
  JWT_EXTRACT_NOT_BASE64 = 5,
  JWT_EXTRACT_NO_MEMORY = 11,
  JWT_EXTRACT_NO_OUTPUT = -1,
};

void jwtInit(jwt_parser* parser);
// Tokenizes `len` bytes of `json` (a zero byte ends the input early).
// Returns the number of tokens, or JWT_ERROR_*. Without `tokens` only the
// count is computed. Start every parse on a freshly reset parser.
int32_t jwtParse(jwt_parser* parser, const char* json, size_t len, jwtok_t* tokens,
                 uint32_t num_tokens);
// Decodes one Base64url part into a fresh malloc'd buffer of `lenToken`
// bytes, stored in `*outJson` also on failure (the caller frees it); the
// decoded bytes are not terminated.
int32_t jwtExtract2Json(const char* inToken, size_t lenToken, unsigned char** outJson,
                        size_t* outJsonLen);
