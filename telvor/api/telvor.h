/*
** telvor: the KL40 communication library, C interface.
**
** This file is the whole contract between the library (libtelvor.so, telvor.dll) and its host.
** If a function, record, callback type or constant is not declared here, it is not part of the
** published interface. The header compiles as C11 and as C++.
**
** General rules
**
**  - Every export uses the cdecl calling convention (TELVOR_CDECL) and returns a 32-bit integer,
**    except TELVOR_Version, which returns a text.
**  - A device identifier is always a pointer to 6 bytes, compared bytewise. The library never keeps
**    the caller's pointer: it copies the 6 bytes during the call.
**  - Texts that cross the interface (log and error lines, names) are zero-terminated and encoded in
**    Windows-1251.
**  - The host calls InitLib once, then ListPort for each channel type it uses, then Open/Open_svc
**    and the request exports, then Close/Close_svc for everything it opened, then CloseLib.
**    Exports may be called from any host thread, but not concurrently with each other, except that
**    Write may run concurrently with Close. After CloseLib the host may call InitLib again: the
**    library starts afresh with no state left from its previous life.
**  - Before InitLib (and after CloseLib) every export except TELVOR_Version does nothing and
**    returns its usual result (0, or -1 for Write).
**  - Host callbacks are called on the library's worker threads and, for a few (named below), on
**    the host thread inside an export. Callbacks of one device session never run at the same time
**    as each other; callbacks of different sessions may run in parallel, so a host that shares
**    state between callbacks must lock it. No callback is called after CloseLib has returned.
**  - Every callback slot may be null; the library tests each slot before every call and skips a
**    null one (a skipped key callback means "no key", a skipped block callback "block absent", a
**    skipped data callback "data accepted").
**  - No C++ exception crosses the interface.
*/
#ifndef TELVOR_API_TELVOR_H
#define TELVOR_API_TELVOR_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define TELVOR_CDECL __cdecl
#else
#define TELVOR_CDECL
#endif

#if defined(_WIN32)
#if defined(TELVOR_BUILDING_LIBRARY)
#define TELVOR_API __declspec(dllexport)
#else
#define TELVOR_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define TELVOR_API __attribute__((visibility("default")))
#else
#define TELVOR_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
** Result codes and state codes
*/
#define TELVOR_OK 0             /* the usual result of every export except Write */
#define TELVOR_WRITE_RESULT (-1) /* Write returns this in every case: it carries no meaning */

/* Device states passed to ZEB_SETHARDST and ZEB_SETHARDST_SVC. */
#define TELVOR_STATE_UNKNOWN 0           /* no state known */
#define TELVOR_STATE_DISREPAIR 64        /* ma_DISREPAIR: the device is faulty or the link is broken */
#define TELVOR_STATE_IMITATION 70        /* ma_DISRP_IMIT_UT: an imitation or replay is suspected */
#define TELVOR_STATE_DUTY 96             /* ma_DUTY: the device is on duty */
#define TELVOR_STATE_DUPLICATE 771       /* 0x303: a session with this identifier and unit exists (types 0 to 5) */
#define TELVOR_STATE_BAD_TYPE 772        /* 0x304: the channel type is not 0 to 7 */
#define TELVOR_STATE_DUPLICATE_GPRS 774  /* 0x306: as 771, for channel type 6 */
#define TELVOR_STATE_KEY_CHANGED 775     /* 0x307: the GPRS key change completed */
#define TELVOR_STATE_KEY_FAILED 776      /* 0x308: the GPRS key change failed */

/* Reason passed with a state report. */
#define TELVOR_REASON_BAD_CHECKSUM 1
#define TELVOR_REASON_DECRYPTION 2
#define TELVOR_REASON_OTHER 241

/* Statuses passed to ZEB_CMD_RESULT. */
#define TELVOR_CMD_ACKNOWLEDGED 1  /* the device acknowledged the command (msg_KVITGOOD) */
#define TELVOR_CMD_REFUSED 2       /* the device refused it (msg_KVITBAD) */
#define TELVOR_CMD_NO_ANSWER 3     /* nothing of the packet was acknowledged in time */
#define TELVOR_CMD_NOT_THIS 4      /* other items of the packet were acknowledged, not this one */

/* Channel types: the first argument of most exports. */
#define TELVOR_CHANNEL_GPRS 6    /* GPRS service sessions over UDP (the configurator's channel) */
#define TELVOR_CHANNEL_SERIAL 7  /* serial-port sessions */

/* ZEB_TRACE direction. */
#define TELVOR_TRACE_RECEIVED 0
#define TELVOR_TRACE_SENT 1

/*
** ComSettings: the host's serial settings block, passed to OpenComDevice and ParseDataMS.
** The library keeps a copy; the copy, not the host's block, is what serial callbacks receive.
*/
typedef struct ComSettings {
  int32_t baud;         /* offset 0: baud rate */
  int32_t host[8];      /* offsets 4..35: eight host words, carried unchanged */
  uint8_t terminator;   /* offset 36: block terminator character */
  uint8_t reserved[3];  /* offsets 37..39: padding, zero */
} ComSettings;

/*
** ComEvent: the 108-byte event record produced from a serial block (little-endian).
*/
typedef struct ComEvent {
  int32_t size;         /* offset 0: 108 */
  int32_t flags;        /* offset 4: bit 0 A, bit 1 B, bit 2 N, bit 3 C, bit 4 U present */
  int32_t host[8];      /* offset 8: the eight host words of the port's ComSettings */
  char command[16];     /* offset 40: command word, zero-terminated */
  char text[16];        /* offset 56: event text, zero-terminated */
  int32_t a;            /* offset 72 */
  int32_t b;            /* offset 76 */
  int32_t n;            /* offset 80 */
  int32_t c;            /* offset 84 */
  int32_t u;            /* offset 88 */
  uint8_t zero[16];     /* offset 92: zero */
} ComEvent;

/*
** Host callback types, one per slot of the callback table (LinkSettings.callback[slot]).
** Unless a result is described, the library ignores the result; the host may return 0.
**
** Slot 0  ZEB_HAS_BLOCK(type, id, 0, blockNo): nonzero means block blockNo (1-based) is present.
**         Called when a session of channel type 0, 4 or 5 is opened (once per block, on the host
**         thread inside Open/Open_svc), inside RefreshUnit, and by the station service protocol.
** Slot 1  ZEB_READ_DATA(type, id, data, len, 1): a received body; data is valid during the call.
** Slot 2  ZEB_GET_COMMAND(): station service protocol.
** Slot 3  ZEB_NOTIFY(type, id, sessionData): station service protocol.
** Slot 4  ZEB_GET_CYPHER(type, id, keyOrNull, len, flag): key fetch. The library first calls it
**         with keyOrNull = NULL and *len = 0; only a result of exactly 1 means a key exists. It
**         then calls it with a library-owned buffer of *len bytes (32, or 40 for channel types 4
**         and 5) that the host fills. flag is 1 when the GPRS key change fetches the new key,
**         0 otherwise. Called on the host thread inside Open and ChangeKeyNow, and on worker
**         threads during a GPRS key change.
** Slot 5  ZEB_READ(type, id, unused, data, len): station service protocol.
** Slot 6  ZEB_SETHARDST(type, id, 0, state, reason, 0, 0): a device state report (TELVOR_STATE_*).
**         Called on worker threads, and on the host thread inside Open/Open_svc for the reports of
**         session creation (771, 772, 774) and the disrepair report of Open.
** Slot 7  ZEB_NEW_ID(packetType, id): a valid datagram from an identifier without a session arrived
**         on a GPRS port. Nothing is sent back; the host decides whether to open the identifier.
** Slot 8  ZEB_TRACE(packetType, id, ip4, port, data, len, direction): a plain GPRS packet without its
**         inner checksum; ip4 points to the 4 address bytes in network order, port is the UDP port;
**         direction TELVOR_TRACE_RECEIVED or TELVOR_TRACE_SENT.
** Slot 9  ZEB_READ_GPRS(packetType, id, data, len): data of a GPRS data item; nonzero refuses it
**         (the item is then not acknowledged).
** Slot 10 ZEB_GET_CMD_GPRS(packetType, id, record, mark): mark 0: the host fills the command record
**         (2-byte number, 1-byte sequence number, 2-byte length n <= 1000, n command bytes; the
**         buffer holds 1005 bytes) and returns nonzero when it has a command; mark 1: the command
**         in record has been put into a packet.
** Slot 11 ZEB_CMD_RESULT(packetType, id, record, status): a command is settled (TELVOR_CMD_*).
** Slot 12 ZEB_LOG(text): one log line; every line begins with "telvor.dll::".
** Slot 13 ZEB_ERROR(text): an error line, for a port that could not be opened.
** Slot 14 ZEB_COM_READ(settingsCopy, data, len, direction): serial channel traffic.
** Slot 15 ZEB_COM_EVENT(event): a serial event record.
** Slot 16 ZEB_SETHARDST_COM(settingsCopy, state, 0): a serial channel state.
** Slot 17 ZEB_GET_CYPHER_SVC: as slot 4, for sessions opened with Open_svc.
** Slot 18 ZEB_SETHARDST_SVC: as slot 6, for registrations in service mode.
**
** Every pointer passed to a callback belongs to the library and is valid only during the call.
*/
typedef int32_t(TELVOR_CDECL* ZEB_HAS_BLOCK_fn)(int32_t type, const uint8_t* id, int32_t zero,
                                                int32_t blockNo);
typedef int32_t(TELVOR_CDECL* ZEB_READ_DATA_fn)(int32_t type, const uint8_t* id, const uint8_t* data,
                                                int32_t len, int32_t one);
typedef int32_t(TELVOR_CDECL* ZEB_GET_COMMAND_fn)(void);
typedef int32_t(TELVOR_CDECL* ZEB_NOTIFY_fn)(int32_t type, const uint8_t* id, void* sessionData);
typedef int32_t(TELVOR_CDECL* ZEB_GET_CYPHER_fn)(int32_t type, const uint8_t* id, uint8_t* keyOrNull,
                                                 int32_t* len, int32_t flag);
typedef int32_t(TELVOR_CDECL* ZEB_READ_fn)(int32_t type, const uint8_t* id, int32_t unused,
                                           const uint8_t* data, int32_t len);
typedef int32_t(TELVOR_CDECL* ZEB_SETHARDST_fn)(int32_t type, const uint8_t* id, int32_t zero,
                                                int32_t state, int32_t reason, int32_t zero2,
                                                int32_t zero3);
typedef int32_t(TELVOR_CDECL* ZEB_NEW_ID_fn)(int32_t packetType, const uint8_t* id);
typedef int32_t(TELVOR_CDECL* ZEB_TRACE_fn)(int32_t packetType, const uint8_t* id, const uint8_t* ip4,
                                            int32_t port, const uint8_t* data, int32_t len,
                                            int32_t direction);
typedef int32_t(TELVOR_CDECL* ZEB_READ_GPRS_fn)(int32_t packetType, const uint8_t* id,
                                                const uint8_t* data, int32_t len);
typedef int32_t(TELVOR_CDECL* ZEB_GET_CMD_GPRS_fn)(int32_t packetType, const uint8_t* id,
                                                   uint8_t* record, int32_t mark);
typedef int32_t(TELVOR_CDECL* ZEB_CMD_RESULT_fn)(int32_t packetType, const uint8_t* id,
                                                 const uint8_t* record, int32_t status);
typedef int32_t(TELVOR_CDECL* ZEB_LOG_fn)(const char* text);
typedef int32_t(TELVOR_CDECL* ZEB_ERROR_fn)(const char* text);
typedef int32_t(TELVOR_CDECL* ZEB_COM_READ_fn)(const ComSettings* settingsCopy, const uint8_t* data,
                                               int32_t len, int32_t direction);
typedef int32_t(TELVOR_CDECL* ZEB_COM_EVENT_fn)(const ComEvent* event);
typedef int32_t(TELVOR_CDECL* ZEB_SETHARDST_COM_fn)(const ComSettings* settingsCopy, int32_t state,
                                                    int32_t zero);

/* Callback slot numbers (index into LinkSettings.callback). */
enum {
  TELVOR_CB_HAS_BLOCK = 0,
  TELVOR_CB_READ_DATA = 1,
  TELVOR_CB_GET_COMMAND = 2,
  TELVOR_CB_NOTIFY = 3,
  TELVOR_CB_GET_CYPHER = 4,
  TELVOR_CB_READ = 5,
  TELVOR_CB_SETHARDST = 6,
  TELVOR_CB_NEW_ID = 7,
  TELVOR_CB_TRACE = 8,
  TELVOR_CB_READ_GPRS = 9,
  TELVOR_CB_GET_CMD_GPRS = 10,
  TELVOR_CB_CMD_RESULT = 11,
  TELVOR_CB_LOG = 12,
  TELVOR_CB_ERROR = 13,
  TELVOR_CB_COM_READ = 14,
  TELVOR_CB_COM_EVENT = 15,
  TELVOR_CB_SETHARDST_COM = 16,
  TELVOR_CB_GET_CYPHER_SVC = 17,
  TELVOR_CB_SETHARDST_SVC = 18,
  TELVOR_CB_COUNT = 19
};

/*
** LinkSettings: the settings record with the host callback table.
**
** slot[i] is the 32-bit setting at byte offset 4*i (offsets 0 to 148). The host writes
** sizeof(LinkSettings) into slot[0]. The library reads the slots at offsets 8 to 128 (offsets 4,
** 68 and 132 to 148 are reserved); among them:
**   offset  20..64, 72  session timing words (16-bit values)
**   offset  76, 80      ping period and ICMP reply timeout, ms
**   offset  88  "Open_GPRS"                wait for the first packet, ms        (host default 30000)
**   offset  92  "ToSendDG2_GPRS"           silence before the first DG2 poll, ms (30000)
**   offset  96  "ToRetrySendDG2_GPRS"      interval between DG2 polls, ms       (10000)
**   offset 100  "CountRetrySendDG2_GPRS"   DG2 polls before disrepair          (10)
**   offset 104  "ToWaitKvitCmd_GPRS"       wait for acknowledgements, ms        (10000)
**   offset 108  "ToWaitSendDAfterIn"       minimum gap before sending, ms       (300)
**   offset 112  "CountRetryRecive_GPRS"    identical packets marking a broken link (5)
**   offset 116  "CountNoGoodTimeTag_GPRS"  bad time tags marking an imitation   (5)
**   offset 120, 124     serial first-answer wait and duty period, ms
** callback[slot] holds the host callbacks (ZEB_*_fn types above, slot numbers TELVOR_CB_*).
** On a 32-bit target the record is the 228-byte record (callbacks at 152 + 4*slot); on a 64-bit
** target callbacks are at 152 + 8*slot and the record is 304 bytes.
*/
typedef struct LinkSettings {
  int32_t slot[38];
  void* callback[19];
} LinkSettings;

#if defined(__cplusplus)
static_assert(sizeof(LinkSettings) == 152 + 19 * sizeof(void*), "LinkSettings layout");
static_assert(sizeof(ComSettings) == 40, "ComSettings layout");
static_assert(sizeof(ComEvent) == 108, "ComEvent layout");
#else
_Static_assert(sizeof(LinkSettings) == 152 + 19 * sizeof(void*), "LinkSettings layout");
_Static_assert(sizeof(ComSettings) == 40, "ComSettings layout");
_Static_assert(sizeof(ComEvent) == 108, "ComEvent layout");
#endif

/*
** TELVOR_Version: returns the constant text "7,3,7,36". The text belongs to the library and stays
** valid while the library is loaded. May be called at any time, also before InitLib.
*/
TELVOR_API const char* TELVOR_CDECL TELVOR_Version(void);

/*
** InitLib: starts the library. Copies the whole record pointed to by settings (the library never
** looks at the host's record again), logs "telvor.dll::InitLib - библиотека загружена" through
** ZEB_LOG (on the calling thread) and returns 0. A NULL settings is refused: nothing happens and
** the result is -1. Calling InitLib while the library is started is refused the same way; call
** CloseLib first.
*/
TELVOR_API int32_t TELVOR_CDECL InitLib(LinkSettings* settings);

/*
** CloseLib: stops the library. Closes any session the host left open, stops every worker thread
** (waiting for running callbacks to return), frees every port and registration record and the
** settings copy. Returns 0. Afterwards no callback is called until InitLib is called again.
** Must not be called from inside a callback.
*/
TELVOR_API int32_t TELVOR_CDECL CloseLib(void);

/*
** ListPort: declares the UDP ports of a channel type. ports points to count 16-bit port numbers
** (only the low 16 bits of count are used; count below 1 or a NULL ports means "no port"). After
** the call exactly the listed ports carry the type: a listed port without a record gets one, a
** port record not listed loses the type. Port records are kept until CloseLib. Sockets are opened
** by the first session of a port (Open, Open_svc), not here. Port number 0 asks the system for a
** free port. Types outside 0 to 31 are ignored. Returns 0.
*/
TELVOR_API int32_t TELVOR_CDECL ListPort(int32_t type, const uint16_t* ports, int32_t count);

/*
** Open: registers the identifier id (6 bytes) and opens one session of channel type type and unit
** number unit on every port that carries the type. On the calling thread it may call
** ZEB_GET_CYPHER (the key fetch), ZEB_HAS_BLOCK (block tables of types 0, 4, 5), ZEB_SETHARDST
** (771/774 for an existing session with the same identifier and unit on a port, 772 for a type
** above 7, 64 with reason 241 when the identifier is registered in service mode and has no
** session yet) and ZEB_ERROR ("Ошибка инициализации! Проблема открытия порта %d." when the port's
** socket cannot be opened: only that session fails). Returns 0. A NULL id does nothing.
*/
TELVOR_API int32_t TELVOR_CDECL Open(int32_t type, const uint8_t* id, int32_t unit);

/*
** Open_svc: as Open, for the service registration: keys come from ZEB_GET_CYPHER_SVC and state
** reports of the registration go to ZEB_SETHARDST_SVC. Returns 0.
*/
TELVOR_API int32_t TELVOR_CDECL Open_svc(int32_t type, const uint8_t* id, int32_t unit);

/*
** Close: closes the sessions of type, id and unit on every port of the type, and unregisters id
** when none of its sessions is left. A negative type does nothing. For types 0 to 6 nothing is
** closed while id is in service mode through a registration that Open_svc did not create.
** comName names the serial port for type 7 (may be NULL otherwise). When a session's handler is
** running on a worker thread, Close waits for it to return (at most 20 s) unless Close is called
** from that very handler's callback. Returns 0.
*/
TELVOR_API int32_t TELVOR_CDECL Close(int32_t type, const uint8_t* id, int32_t unit,
                                     const char* comName);

/*
** Close_svc: ends the service registration of id: when Open_svc created the registration, closes
** as Close does; when the registration existed before Open_svc, only leaves service mode and
** keeps the sessions open. Returns 0.
*/
TELVOR_API int32_t TELVOR_CDECL Close_svc(int32_t type, const uint8_t* id, int32_t unit);

/*
** Write: queues one outgoing message of length bytes (data is copied during the call) for the
** channel type 3 session of id whose unit number is the low 16 bits of unit, and wakes the
** session. length 0 queues an empty message. A length below 0 or above 1500, or a NULL data with a
** positive length, is refused and nothing is queued. Returns -1 in every case.
*/
TELVOR_API int32_t TELVOR_CDECL Write(int32_t type, const uint8_t* id, int32_t unit,
                                     const uint8_t* data, int32_t length);

/*
** RefreshUnit: asks ZEB_HAS_BLOCK(type, id, 0, blockNo) again (on the calling thread) for the
** first session of type (0, 4 or 5) with identifier id, and rewrites block entry blockNo. A block
** number outside 1 to the table size (32, 16 or 4) is refused: nothing is asked or changed.
** Returns 0.
*/
TELVOR_API int32_t TELVOR_CDECL RefreshUnit(int32_t type, const uint8_t* id, int32_t blockNo);

/*
** Set_tcp_ip_addr: stores three 8-byte address records (a, b, c; copied during the call) and
** raises the set-network-addresses request of the first session of type with identifier id. Any
** NULL record refuses the call. Returns 0.
*/
TELVOR_API int32_t TELVOR_CDECL Set_tcp_ip_addr(int32_t type, const uint8_t* id, const void* a,
                                               const void* b, const void* c);

/*
** Set_range_ip_addr: replaces the address-range table with count (low 8 bits) 8-byte records
** copied from ranges, and raises the set-address-ranges request of the first session of type with
** identifier id. A NULL ranges with a nonzero count refuses the call. Returns 0.
*/
TELVOR_API int32_t TELVOR_CDECL Set_range_ip_addr(int32_t type, const uint8_t* id, int32_t count,
                                                 const void* ranges);

/*
** GetMac: raises the read-hardware-address request of the first session of type with identifier
** id. Returns 0.
*/
TELVOR_API int32_t TELVOR_CDECL GetMac(int32_t type, const uint8_t* id);

/*
** ChangeKeyNow: reloads at once the key of the first session of type with identifier id, through
** ZEB_GET_CYPHER_SVC for a GPRS session whose registration Open_svc created, else ZEB_GET_CYPHER
** (first with no buffer, then with 32 or 40 bytes), on the calling thread. No key: the session is
** marked as having none. Returns 0.
*/
TELVOR_API int32_t TELVOR_CDECL ChangeKeyNow(int32_t type, const uint8_t* id);

/*
** ChangeKeyNow_GPRS: starts the key-change handshake with a GPRS device. code 1 to 9 or 17 to 25
** addresses channel type 6, any other code channel type 0; the device must be its registration's
** bound session and must have been answered at least once, else nothing happens. Logs
** "telvor.dll::ChangeKeyNow_GPRS - Команда смены ключа поставлена на обработку", draws the
** key-change number, sets the command request of code (17 to 25; 17, 23, 24 and 25 only in
** service mode) and requests a send. Returns 0; the outcome is reported later as state 775 (key
** changed) or 776 (failed) through the state callbacks.
*/
TELVOR_API int32_t TELVOR_CDECL ChangeKeyNow_GPRS(int32_t code, const uint8_t* id);

/*
** Send_CMD_GPRS: asks the library to fetch and send the host's commands for a GPRS device: the
** session is found as for ChangeKeyNow_GPRS; logs "telvor.dll::Send_CMD_GPRS - Команда поставлена
** на обработку", sets the command request of code (17 to 25: packet types 0x11 to 0x19; 17, 23,
** 24 and 25 only in service mode; 1 to 9 set none) and requests a send. The library then calls
** ZEB_GET_CMD_GPRS on a worker thread. Returns 0.
*/
TELVOR_API int32_t TELVOR_CDECL Send_CMD_GPRS(int32_t code, const uint8_t* id);

/*
** Run_Pinger: ICMP reachability checks of a host for a session. Returns 0. A library built
** without its network utilities refuses the call with -1 and does nothing.
*/
TELVOR_API int32_t TELVOR_CDECL Run_Pinger(int32_t type, const uint8_t* id, const char* hostName,
                                          int32_t period, int32_t timeout, int32_t limit);

/*
** OpenComDevice / CloseComDevice: serial-port sessions (channel type 7). portName is a text such as
** "COM3". settings is copied during the call. Return 0. A library built without its serial
** channel refuses both calls with -1 and does nothing.
*/
TELVOR_API int32_t TELVOR_CDECL OpenComDevice(int32_t ignored, int32_t rawMode, const char* portName,
                                             ComSettings* settings);
TELVOR_API int32_t TELVOR_CDECL CloseComDevice(int32_t ignored1, int32_t ignored2,
                                              const char* portName);

/*
** ParseDataMS: parses one serial text block of length bytes into event, without a port.
** mustBeZero must be 0. A library built without its serial channel refuses the call with -1
** and leaves event untouched.
*/
TELVOR_API int32_t TELVOR_CDECL ParseDataMS(int32_t ignored, int32_t mustBeZero,
                                           const ComSettings* settings, const char* text,
                                           int32_t length, ComEvent* event);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TELVOR_API_TELVOR_H */
