/*
 * qz_abi.h: the plain C interface between a qzfm plug-in and its host.
 *
 * A host author needs only this file. Every plug-in is one shared library
 * that exports exactly two functions, getModuleProperties and makeModule;
 * everything else travels through the records and function pointers below.
 *
 * Calling contexts used in the tags of the function pointers:
 *
 *   [load]    the host's loading thread, before any instance exists or
 *             between instances; no audio is running through the caller.
 *   [control] the thread that drives one processing instance outside its
 *             sub-process call (dispatcher requests, events).
 *   [audio]   the sub-process call of one processing instance. The host
 *             MUST NOT call any other entry of the same instance while it
 *             runs. Nothing in this context allocates, locks or logs.
 *   [panel]   the single thread on which the host drives all panel
 *             instances of a library.
 *
 * Requests return a QzResult, 32 bits on the 32-bit host platform.
 * The entries of one processing instance are never called concurrently:
 * [control] and [audio] of one instance take turns on one thread at a time.
 *
 * Record layout: the field order below with natural C alignment. On the
 * 32-bit host platform every field is 4 bytes and the records have the
 * sizes noted beside them; on 64-bit platforms pointer fields are 8 bytes
 * and the reserved areas keep their byte counts.
 *
 * Changelog
 *   2230  first published interface (QZ_FRAMEWORK_VERSION).
 */
#ifndef QZ_ABI_H
#define QZ_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The framework version every plug-in reports in ModuleProperties. */
#define QZ_FRAMEWORK_VERSION 2230

/* A host built against this header can drive a plug-in reporting `version`. */
static inline int qz_version_is_compatible(int32_t version) { return version == QZ_FRAMEWORK_VERSION; }

/* Marks the two exported entry points: C linkage, default visibility. */
#if defined(_WIN32)
#define QZ_EXPORT __declspec(dllexport)
#else
#define QZ_EXPORT __attribute__((visibility("default")))
#endif

/* Plain C calling convention on every platform, also on 32-bit Windows. */
#if defined(_WIN32) && !defined(_WIN64)
#define QZ_CALL __cdecl
#else
#define QZ_CALL
#endif

#define QZ_MODULE_MAGIC 0x5345504Cu /* bytes 4C 50 45 53 */
#define QZ_GUI_MAGIC    0x5345504Du /* bytes 4D 50 45 53 */

/* One named invalid pin index, for "no such pin". */
#define QZ_INVALID_PIN (-1)

/* The result of every request in both directions. 32 bits on the 32-bit
 * host platform; pointer-sized elsewhere, so that the requests whose answer
 * is an address (GET_PIN_BUFFER, GET_SUB_PROCESS_INFO, GET_PIN_TEXT) still
 * carry it whole. Integer answers are read from its low 32 bits only.
 * Rationale: a 64-bit host cannot return a buffer address in 32 bits. */
typedef intptr_t QzResult;

typedef struct QzModuleRecord QzModuleRecord;
typedef struct QzGuiRecord QzGuiRecord;
typedef struct QzModuleEvent QzModuleEvent;

/* ------------------------------------------------------------------ */
/* Function types                                                      */

/* [control] host -> instance requests; opcodes in QzDispatcherOpcode. */
typedef QzResult(QZ_CALL *QzDispatcher)(QzModuleRecord *record, int32_t opcode, int32_t index, int32_t value,
                                       void *ptr, float opt);

/* [control] & [audio] instance -> host requests; opcodes in QzHostOpcode.
 * `record` is always the calling instance's own record. */
typedef QzResult(QZ_CALL *QzHostCallback)(QzModuleRecord *record, int32_t opcode, int32_t index, int32_t value,
                                         void *ptr, float opt);

/* [audio] processes `count` samples from `offset` on in every Stream buffer.
 * `object` is the record's object field. A count of 0 is allowed. */
typedef void(QZ_CALL *QzSubProcess)(void *object, int32_t offset, int32_t count);

/* [control] delivers one due event; the event is owned by the host and valid
 * only during the call. */
typedef void(QZ_CALL *QzEventHandler)(void *object, QzModuleEvent *event);

/* [panel] host -> panel instance requests; opcodes in QzGuiOpcode. */
typedef QzResult(QZ_CALL *QzGuiDispatcher)(QzGuiRecord *record, int32_t opcode, int32_t index, int32_t value,
                                          void *ptr, float opt);

/* [panel] panel instance -> host requests; opcodes in QzGuiHostOpcode. */
typedef QzResult(QZ_CALL *QzGuiHostCallback)(QzGuiRecord *record, int32_t opcode, int32_t index, int32_t value,
                                            void *ptr, float opt);

/* A deferred call travels in QzModuleEvent.ptrParam as the address of a
 * plain function taking the instance (the record's object field). A C++
 * member-function pointer does not fit one pointer-sized word, so the
 * framework wraps each member operation in such a function.
 * Rationale: the address of a free function is one word on every target. */
typedef void(QZ_CALL *QzDeferredCall)(void *object);

/* ------------------------------------------------------------------ */
/* Records                                                             */

/* Filled by the module in getModuleProperties. Allocated by the host. The
 * texts are owned by the library and stay valid while it is loaded.
 * 24 bytes on 32-bit targets. */
typedef struct QzModuleProperties {
    const char *name;         /* display name */
    const char *uniqueId;     /* identifier of the module type */
    const char *about;        /* about text, may hold line breaks */
    int32_t flags;            /* module flags word; written only by panel modules (66) */
    int32_t guiFlags;         /* GUI flags word; written only by panel modules (384) */
    int32_t frameworkVersion; /* always QZ_FRAMEWORK_VERSION */
} QzModuleProperties;

/* The processing instance's handle towards the host. Owned by the module
 * from makeModule until Close returns. 48 bytes on 32-bit targets. */
struct QzModuleRecord {
    uint32_t magic;              /* QZ_MODULE_MAGIC */
    int32_t version;             /* 1 */
    void *hostData;              /* makeModule's host data; never read by the module */
    void *object;                /* the instance; first argument of subProcess and eventHandler */
    int32_t reserved;            /* reserved, write 0 */
    QzDispatcher dispatcher;     /* [control] */
    QzSubProcess subProcess;     /* [audio] current processing function; see SUB_PROCESS_CHANGED */
    QzEventHandler eventHandler; /* [control] */
    uint8_t spare[16];           /* reserved, write 0 */
};

/* The panel instance's handle towards the host. Owned by the module from
 * makeModule until opcode QZ_GUI_CLOSE returns. Note the order of
 * dispatcher and hostData, unlike QzModuleRecord. 40 bytes on 32-bit. */
struct QzGuiRecord {
    uint32_t magic;             /* QZ_GUI_MAGIC */
    int32_t version;            /* 1 */
    QzGuiDispatcher dispatcher; /* [panel] */
    void *hostData;             /* makeModule's host data */
    void *object;               /* the panel instance */
    uint8_t spare[20];          /* reserved, write 0 */
};

/* Describes one pin. The host passes its own record with GET_PIN_PROPERTIES;
 * the module writes only the fields it uses. Texts are owned by the library.
 * 32 bytes on 32-bit targets. */
typedef struct QzPinDescription {
    void *variable;            /* module field holding the pin's value (QzDataType), or NULL */
    int32_t direction;         /* QzDirection */
    int32_t dataType;          /* QzDataType */
    const char *name;          /* label */
    const char *defaultValue;  /* default value as text, or NULL */
    const char *datatypeExtra; /* "range a,b", label list, or four control numbers; or NULL */
    int32_t flags;             /* QzPinFlag bits */
    int32_t spare;             /* reserved, write 0 */
} QzPinDescription;

/* An event, exchanged in both directions. Events the host delivers are
 * owned by the host; an event sent with ADD_EVENT is copied during the call.
 * 24 bytes on 32-bit targets. */
struct QzModuleEvent {
    uint32_t timeStamp;    /* sample clock at which the event is due */
    int32_t kind;          /* QzEventKind */
    int32_t intParam1;     /* PIN_STATUS_CHANGE: new QzPinStatus; MIDI: the message */
    int32_t intParam2;     /* MIDI: low 16 bits = input pin index */
    intptr_t ptrParam;     /* PIN_STATUS_CHANGE: pin index; DEFERRED_CALL: a QzDeferredCall */
    QzModuleEvent *next;   /* the host's queue link; NULL in events a module sends */
};

/* The current processing function as GET_SUB_PROCESS_INFO shows it: the
 * function followed by three zero words. Lives inside the instance and
 * always holds the same function as QzModuleRecord.subProcess. */
typedef struct QzSubProcessDescriptor {
    QzSubProcess function; /* current sub-process */
    void *reserved[3];     /* reserved, write 0 */
} QzSubProcessDescriptor;

/* The answer to GET_SUB_PROCESS_INFO: one block for the whole library,
 * rewritten by every request and valid until the next one. */
typedef struct QzSubProcessInfo {
    intptr_t one;                       /* 1 */
    intptr_t descriptorBytes;           /* 16 */
    QzSubProcessDescriptor *descriptor; /* the asking instance's descriptor */
    intptr_t reserved;                  /* reserved, write 0 */
} QzSubProcessInfo;

/* Panel area information. Owned by the host; the modules read only the two
 * first fields. */
typedef struct QzWindowInfo {
    int32_t width;  /* pixels */
    int32_t height; /* pixels */
} QzWindowInfo;

/* ------------------------------------------------------------------ */
/* Codes                                                               */

typedef enum QzDirection { QZ_DIR_IN = 0, QZ_DIR_OUT = 1 } QzDirection;

typedef enum QzDataType {
    QZ_DT_ENUMERATION = 0, /* int16_t choice value */
    /* 1: no storage, unused by this system */
    QZ_DT_MIDI = 2, /* no variable; MIDI arrives as events */
    /* 3: no storage, unused by this system */
    QZ_DT_BOOLEAN = 4, /* uint8_t, 0 or 1 */
    QZ_DT_STREAM = 5,  /* float *: the pin's current buffer */
    QZ_DT_FLOAT = 6,   /* float */
    /* 7: no storage, unused by this system */
    QZ_DT_INTEGER = 8 /* int32_t */
} QzDataType;

typedef enum QzPinStatus {
    QZ_STATUS_STOPPED = 0,  /* the value does not change */
    QZ_STATUS_CHANGED = 1,  /* one new value, then Stopped again */
    QZ_STATUS_STREAMING = 2 /* the value may change from sample to sample */
} QzPinStatus;

typedef int32_t QzPinFlags;
#define QZ_PIN_AUTO_DUPLICATE (1 << 3)  /* last description repeats up to the host's pin count */
#define QZ_PIN_GUI_LINK_A     (1 << 8)  /* half of the link-pin marker, passed to the host */
#define QZ_PIN_GUI_SIDE       (1 << 10) /* the pin belongs to the panel instance */
#define QZ_PIN_BOTH_SIDES     (1 << 15) /* with GUI_SIDE: the processing instance keeps it too */
#define QZ_PIN_GUI_LINK_B     (1 << 16) /* other half of the link-pin marker */
#define QZ_PIN_GUI_LINK       (QZ_PIN_GUI_LINK_A | QZ_PIN_GUI_LINK_B)

typedef enum QzEventKind {
    QZ_EVENT_PIN_STATUS_CHANGE = 0,
    QZ_EVENT_MIDI = 2,
    QZ_EVENT_DEFERRED_CALL = 21
} QzEventKind;

/* Host -> processing instance (QzDispatcher). */
typedef enum QzDispatcherOpcode {
    QZ_OP_OPEN = 0,                /* result 0 */
    QZ_OP_CLOSE = 1,               /* result 1; the record is gone afterwards */
    QZ_OP_SET_SAMPLE_RATE = 2,     /* opt = samples per second */
    QZ_OP_SET_BLOCK_SIZE = 3,      /* value = samples */
    /* 4, 5: answered 0 */
    QZ_OP_GET_PIN_PROPERTIES = 6,  /* index, ptr = QzPinDescription *; 1 if the pin exists */
    /* 7: answered 0 */
    QZ_OP_HOST_NOTIFY8 = 8,        /* index */
    /* 9, 10, 11: answered 0 */
    QZ_OP_HOST_NOTIFY12 = 12,      /* value, index, ptr */
    QZ_OP_GET_SUB_PROCESS_INFO = 13 /* result: address of the library's info block */
} QzDispatcherOpcode;

/* Processing instance -> host (QzHostCallback). A sample clock travels in
 * ptr as the 32-bit clock widened to a pointer-sized unsigned integer. */
typedef enum QzHostOpcode {
    QZ_HOST_SEND_PIN_STATUS = 0,        /* index = pin, value = QzPinStatus, ptr = clock */
    QZ_HOST_QUERY_PIN = 1,              /* index = pin; non-zero = yes */
    QZ_HOST_GET_SAMPLE_CLOCK = 3,       /* result: current clock */
    QZ_HOST_SEND_MIDI = 4,              /* index = output pin, value = message, ptr = clock */
    QZ_HOST_GET_PIN_BUFFER = 7,         /* index = pin; result: buffer address */
    QZ_HOST_GET_BUFFER_START_CLOCK = 8, /* index = pin; result: clock of buffer position 0 */
    QZ_HOST_SLEEP = 10,
    QZ_HOST_GET_PIN_COUNT = 14,         /* result: pins the host made for the instance */
    QZ_HOST_ADD_EVENT = 19,             /* ptr = QzModuleEvent *, copied during the call */
    QZ_HOST_SUB_PROCESS_CHANGED = 22
} QzHostOpcode;

/* Host -> panel instance (QzGuiDispatcher). */
typedef enum QzGuiOpcode {
    QZ_GUI_INITIALISE = 0,      /* index 1 = true */
    QZ_GUI_CLOSE = 1,           /* result 1; the record is gone afterwards */
    QZ_GUI_PAINT = 2,           /* index = device context, ptr = QzWindowInfo * */
    QZ_GUI_POINT_HOOK3 = 3,     /* ptr = QzWindowInfo *, opt word, point (index, value) */
    QZ_GUI_POINT_HOOK4 = 4,
    QZ_GUI_POINT_HOOK5 = 5,
    QZ_GUI_HOOK6 = 6,           /* value, index, ptr */
    QZ_GUI_PIN_VALUE_CHANGED = 7, /* index = pin (description index) */
    QZ_GUI_HOOK8 = 8,           /* ptr */
    QZ_GUI_HOOK9 = 9,           /* ptr */
    QZ_GUI_HOOK10 = 10,         /* result 0 or 1 */
    QZ_GUI_HOOK11 = 11,         /* index */
    QZ_GUI_HOOK12 = 12          /* index */
} QzGuiOpcode;

/* Panel instance -> host (QzGuiHostCallback). */
typedef enum QzGuiHostOpcode {
    QZ_GUIHOST_REDRAW = 0,
    QZ_GUIHOST_SET_SIZE = 3,            /* index = width, value = height */
    QZ_GUIHOST_SET_PIN_TEXT = 6,        /* index = pin, ptr = text */
    QZ_GUIHOST_GET_PIN_TEXT = 7,        /* index = pin; result: text address, copied at once */
    QZ_GUIHOST_NOTIFY8 = 8,
    QZ_GUIHOST_OPCODE11 = 11,
    QZ_GUIHOST_GET_PIN_VALUE = 14,      /* index = pin, ptr = 4-byte result */
    QZ_GUIHOST_SET_PIN_VALUE = 15,      /* index = pin, value = integer or opt = float */
    QZ_GUIHOST_GET_PIN_WIDE_TEXT = 17,  /* index = pin, value = length in 16-bit units, ptr = buffer */
    QZ_GUIHOST_WINDOW_CALL18 = 18,
    QZ_GUIHOST_WINDOW_CALL19 = 19,
    QZ_GUIHOST_WINDOW_QUERY20 = 20
} QzGuiHostOpcode;

/* makeModule profiles. */
#define QZ_PROFILE_PROCESSING 1
#define QZ_PROFILE_PANEL      2

/* The two exports.
 * [load] getModuleProperties: describes module `index` (only 0 exists);
 *        returns 1, or 0 having written only frameworkVersion.
 * [load] makeModule: returns a QzModuleRecord * (profile 1) or a
 *        QzGuiRecord * (profile 2), or NULL. `hostCallback` is the
 *        instance's QzHostCallback for profile 1; for profile 2 it is a
 *        QzGuiHostCallback cast to this type. */
typedef int32_t(QZ_CALL *QzGetModulePropertiesFn)(int32_t index, QzModuleProperties *properties);
typedef void *(QZ_CALL *QzMakeModuleFn)(int32_t index, int32_t profile, QzHostCallback hostCallback, void *hostData);

#ifdef __cplusplus
}
#endif

#endif /* QZ_ABI_H */
