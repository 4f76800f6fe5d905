/*
** A host written in C: loads libtelvor.so with dlopen, resolves every export by name, fills the
** settings record and runs InitLib, ListPort, Open_svc, Close_svc and CloseLib, checking the log
** lines it receives (decoded from Windows-1251) and the key fetch protocol.
** Usage: c_host <path to libtelvor.so>. Exit status 0 when every check passed.
*/
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "telvor/api/telvor.h"

static int failures = 0;

#define CHECK(cond)                                                  \
  do {                                                               \
    if (!(cond)) {                                                   \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      failures++;                                                    \
    }                                                                \
  } while (0)

/* Windows-1251 to UTF-8 for the letters the library's texts use: ASCII, А..я, Ё and ё. */
static void cp1251_to_utf8(const char* in, char* out, size_t size) {
  size_t o = 0;
  for (const unsigned char* p = (const unsigned char*)in; *p && o + 3 < size; ++p) {
    unsigned cp;
    if (*p < 0x80) cp = *p;
    else if (*p >= 0xC0) cp = 0x410 + (*p - 0xC0);
    else if (*p == 0xA8) cp = 0x401;
    else if (*p == 0xB8) cp = 0x451;
    else cp = 0xFFFD;
    if (cp < 0x80) {
      out[o++] = (char)cp;
    } else if (cp < 0x800) {
      out[o++] = (char)(0xC0 | (cp >> 6));
      out[o++] = (char)(0x80 | (cp & 0x3F));
    } else {
      out[o++] = (char)(0xE0 | (cp >> 12));
      out[o++] = (char)(0x80 | ((cp >> 6) & 0x3F));
      out[o++] = (char)(0x80 | (cp & 0x3F));
    }
  }
  out[o] = 0;
}

static char logs[16][256];
static int log_count = 0;
static int cypher_calls = 0;
static int cypher_first_ok = 0;
static int cypher_second_ok = 0;
static int plain_cypher_calls = 0;
static const uint8_t kId[6] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};

static int32_t TELVOR_CDECL on_log(const char* text) {
  if (log_count < 16) cp1251_to_utf8(text, logs[log_count++], sizeof logs[0]);
  return 0;
}

static int32_t TELVOR_CDECL on_error(const char* text) {
  char line[256];
  cp1251_to_utf8(text, line, sizeof line);
  fprintf(stderr, "ZEB_ERROR: %s\n", line);
  failures++;
  return 0;
}

static int32_t TELVOR_CDECL on_cypher_svc(int32_t type, const uint8_t* id, uint8_t* key,
                                          int32_t* len, int32_t flag) {
  cypher_calls++;
  if (cypher_calls == 1)
    cypher_first_ok = type == 6 && memcmp(id, kId, 6) == 0 && key == NULL && *len == 0 && flag == 0;
  if (cypher_calls == 2) {
    cypher_second_ok = key != NULL && *len == 32;
    if (key) memset(key, 0x5A, 32);
  }
  return 1;
}

static int32_t TELVOR_CDECL on_cypher(int32_t type, const uint8_t* id, uint8_t* key, int32_t* len,
                                      int32_t flag) {
  (void)type, (void)id, (void)key, (void)len, (void)flag;
  plain_cypher_calls++;
  return 0;
}

static int32_t TELVOR_CDECL on_state(int32_t type, const uint8_t* id, int32_t z, int32_t state,
                                     int32_t reason, int32_t z2, int32_t z3) {
  (void)type, (void)id, (void)z, (void)state, (void)reason, (void)z2, (void)z3;
  return 0;
}

typedef const char*(TELVOR_CDECL* version_fn)(void);
typedef int32_t(TELVOR_CDECL* init_fn)(LinkSettings*);
typedef int32_t(TELVOR_CDECL* void_fn)(void);
typedef int32_t(TELVOR_CDECL* listport_fn)(int32_t, const uint16_t*, int32_t);
typedef int32_t(TELVOR_CDECL* open_fn)(int32_t, const uint8_t*, int32_t);

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: c_host <libtelvor.so>\n");
    return 2;
  }
  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    fprintf(stderr, "dlopen: %s\n", dlerror());
    return 2;
  }
  static const char* const names[20] = {
      "TELVOR_Version", "InitLib",       "CloseLib",          "ListPort",      "Open",
      "Open_svc",       "Close",         "Close_svc",         "Write",         "RefreshUnit",
      "Set_tcp_ip_addr", "Set_range_ip_addr", "GetMac",       "ChangeKeyNow",  "ChangeKeyNow_GPRS",
      "Send_CMD_GPRS",  "Run_Pinger",    "OpenComDevice",     "CloseComDevice", "ParseDataMS"};
  void* fns[20];
  for (int i = 0; i < 20; ++i) {
    fns[i] = dlsym(lib, names[i]);
    if (!fns[i]) {
      fprintf(stderr, "missing export %s\n", names[i]);
      failures++;
    }
  }
  if (failures) return 1;
  /* Nothing beyond the twenty exports is visible. */
  CHECK(dlsym(lib, "_ZN6telvor4HostC1ERK12LinkSettings") == NULL);

  version_fn version = (version_fn)fns[0];
  init_fn init = (init_fn)fns[1];
  void_fn close_lib = (void_fn)fns[2];
  listport_fn list_port = (listport_fn)fns[3];
  open_fn open_svc = (open_fn)fns[5];
  open_fn close_svc = (open_fn)fns[7];

  CHECK(strcmp(version(), "7,3,7,36") == 0);

  LinkSettings settings;
  memset(&settings, 0, sizeof settings);
  settings.slot[0] = (int32_t)sizeof settings;
  settings.slot[88 / 4] = 30000;
  settings.slot[92 / 4] = 30000;
  settings.slot[96 / 4] = 10000;
  settings.slot[100 / 4] = 10;
  settings.slot[104 / 4] = 10000;
  settings.slot[108 / 4] = 300;
  settings.slot[112 / 4] = 5;
  settings.slot[116 / 4] = 5;
  settings.callback[TELVOR_CB_GET_CYPHER] = (void*)on_cypher;
  settings.callback[TELVOR_CB_SETHARDST] = (void*)on_state;
  settings.callback[TELVOR_CB_LOG] = (void*)on_log;
  settings.callback[TELVOR_CB_ERROR] = (void*)on_error;
  settings.callback[TELVOR_CB_GET_CYPHER_SVC] = (void*)on_cypher_svc;
  settings.callback[TELVOR_CB_SETHARDST_SVC] = (void*)on_state;

  CHECK(init(&settings) == 0);
  CHECK(log_count == 1);
  CHECK(strcmp(logs[0], "telvor.dll::InitLib - библиотека загружена") == 0);

  const uint16_t ports[1] = {0};  /* any free port */
  CHECK(list_port(6, ports, 1) == 0);
  CHECK(open_svc(6, kId, 0) == 0);
  CHECK(cypher_calls == 2);
  CHECK(cypher_first_ok);
  CHECK(cypher_second_ok);
  CHECK(plain_cypher_calls == 0);
  CHECK(close_svc(6, kId, 0) == 0);
  CHECK(close_lib() == 0);

  /* The library can start again after CloseLib. */
  log_count = 0;
  CHECK(init(&settings) == 0);
  CHECK(log_count == 1 && strcmp(logs[0], "telvor.dll::InitLib - библиотека загружена") == 0);
  CHECK(close_lib() == 0);
  for (int i = 0; i < log_count; ++i) printf("log: %s\n", logs[i]);
  dlclose(lib);
  if (failures) fprintf(stderr, "%d checks failed\n", failures);
  return failures ? 1 : 0;
}
