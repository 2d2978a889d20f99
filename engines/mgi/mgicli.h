/* The engine's administration library, libmgicli78.so: named databases, DSNs and engine
 * information of the local machine and of (simulated) remote servers.
 *
 * Conventions of every entry point
 * --------------------------------
 * - C linkage and the platform's standard calling convention. Every entry returns a 16-bit
 *   status: 0 on success, otherwise one of KX_MGI_* below. No entry throws or aborts.
 * - Texts are zero-terminated 8-bit strings in the process's code page (normally UTF-8).
 *   A NULL text argument gives KX_MGI_NULL_PTR.
 * - Text outputs come as (uint32_t* length, char* buffer). On entry *length is the buffer's
 *   size in bytes; nothing is written beyond it. On success the buffer holds the text and its
 *   terminating zero, and *length is the text's length PLUS ONE (the zero is counted). When the
 *   buffer is too small the status is KX_MGI_BUFFER_TOO_SMALL, *length is the size needed
 *   (zero included) and the buffer holds the empty text if it has room for a zero. A NULL
 *   buffer with *length 0 is a size query (answered with KX_MGI_BUFFER_TOO_SMALL).
 * - Connection handles: KX_MGI_LOCAL (-1) is the local machine and needs no connect. Handles
 *   from KxConnectServer are positive and never -1 or -2. KxDisconnect(-1) does nothing.
 * - Every entry may be called from any number of threads at once. The stores are shared with
 *   other processes (the record manager, the ODBC driver) and are safe across processes.
 * - KxStart need not be called first; it is there for loaders that start the library.
 *
 * Servers
 * -------
 * The local machine's stores live in the engine home ($KX_ENGINE_HOME, default
 * ~/.local/share/kestrin). A remote server NAME is simulated by the folder
 * $KX_ENGINE_HOME/servers/NAME (found by name ignoring case); connecting to a server without
 * such a folder fails with KX_MGI_FAIL. The names "", "localhost" and this computer's name (any
 * case) connect to the local machine. A server folder may hold server.ini with a [users]
 * section of NAME=password lines; a server with users checks logins (user ignoring case,
 * password exactly, empty user refused: KX_MGI_ACCESS_RIGHT); a server without users accepts
 * any credentials. Its [server] platform=N sets the platform code reported (default 2).
 */
#ifndef KX_ENGINES_MGI_MGICLI_H
#define KX_ENGINES_MGI_MGICLI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define KX_MGI_API __attribute__((visibility("default")))
#else
#define KX_MGI_API
#endif

/* Statuses. */
#define KX_MGI_SUCCESS 0
#define KX_MGI_INVALID_HANDLE 7001      /* unknown or closed handle, or -2 */
#define KX_MGI_NULL_PTR 7002            /* a required pointer is NULL */
#define KX_MGI_BUFFER_TOO_SMALL 7003    /* *length now holds the size needed */
#define KX_MGI_FAIL 7004                /* server not found (or its folder vanished); internal error */
#define KX_MGI_INVALID_DATA_TYPE 7005   /* not used */
#define KX_MGI_OUT_OF_RANGE 7006        /* name or path too long; list number 0 or past the end */
#define KX_MGI_INVALID_SELECTION 7007   /* invalid database name; a modify that combines rename,
                                           bind/unbind and moves; KxCheckDbInfo flag mismatch */
#define KX_MGI_INVALID_SEQUENCE 7008    /* KxGetDbName without KxGetDbNamesData on this thread */
#define KX_MGI_DATA_UNAVAILABLE 7009    /* a path that cannot be used (a file, another host) */
#define KX_MGI_INVALID_CLIENT 7010      /* not used */
#define KX_MGI_ACCESS_RIGHT 7011        /* login refused; a store could not be written */
#define KX_MGI_DUPLICATE_NAME 7012      /* the named database exists */
#define KX_MGI_NOT_EXIST 7013           /* the named database does not exist */
#define KX_MGI_INVALID_VERSION 7014     /* returned by KxStart of the "start-fails" test build */
#define KX_MGI_FILE_NOT_OPEN 7015       /* a store file cannot be read or is damaged */
#define KX_MGI_DICTIONARY_ALREADY_EXISTS 7016 /* a bound database would share its folders */
#define KX_MGI_SHARED_DDF_EXIST 7017    /* create-dictionary on a new database, file exists */
#define KX_MGI_INVALID_NAME 7018        /* invalid DSN name */
#define KX_MGI_DSN_ALREADY_EXIST 7019
#define KX_MGI_DSN_DOES_NOT_EXIST 7020  /* also: the DSN is not of this engine's drivers */
#define KX_MGI_INVALID_OPEN_MODE 7021

/* Connection handles the callers reserve. */
#define KX_MGI_LOCAL (-1)
#define KX_MGI_NOT_CONNECTED (-2)

/* Named-database flags. CREATE_DDF is an action ("make the dictionary now"), not stored: it
 * creates the dictionary folder and an empty database file there. Other bits are ignored. */
#define KX_MGI_DB_BOUND 1u
#define KX_MGI_DB_INTEGRITY 2u
#define KX_MGI_DB_CREATE_DDF 4u

/* KxDropDatabase option bit: also delete the database file (kept when another named database
 * uses the same dictionary folder). 0, what the sessions pass, keeps every file. */
#define KX_MGI_DROP_FILES 1u

/* DSN filter of KxListDSNs and KxCountDSNs: 1 lists the DSNs of this engine's two drivers
 * ("Kestrin ODBC Engine Interface", "Kestrin ODBC Client Interface"); 0 lists every DSN. */
#define KX_MGI_DSN_FILTER_FALSE 0
#define KX_MGI_DSN_FILTER_TRUE 1

/* Open modes of a DSN, as this library passes them. The DSN files keep 0, -1, 1, -4. */
#define KX_MGI_OPEN_NORMAL 0
#define KX_MGI_OPEN_ACCELERATED 1
#define KX_MGI_OPEN_READ_ONLY 2
#define KX_MGI_OPEN_EXCLUSIVE 3

/* Platform codes of KxGetEngineInformation. */
#define KX_MGI_PLATFORM_WINDOWS 1 /* drive-letter paths: C:\DATA */
#define KX_MGI_PLATFORM_UNIX 2    /* one rooted tree: /data (this library's default) */

/* ---- Connections ---------------------------------------------------------------------- */

/* Connects to a server. user/password may be NULL (taken as empty). */
KX_MGI_API uint16_t KxConnectServer(const char* server, const char* user, const char* password,
                                    int32_t* handle);
KX_MGI_API uint16_t KxDisconnect(int32_t handle);
/* The server's name: this computer's name for a local connection, else the name connected to. */
KX_MGI_API uint16_t KxGetServerName(int32_t handle, uint32_t* length, char* buffer);
/* Starts the library; the argument is ignored. 0 in the normal build. */
KX_MGI_API uint16_t KxStart(int32_t reserved);
/* Closes every connection and list. When openConnections is not NULL it receives how many
 * connections were still open. */
KX_MGI_API uint16_t KxStop(int32_t* openConnections);

/* ---- Named databases ------------------------------------------------------------------- */

/* Takes a snapshot of the server's named databases, sorted by name ignoring case, for the
 * calling thread and this handle (threads sharing handle -1 do not disturb each other), and
 * reports their number. A new call replaces the thread's snapshot. */
KX_MGI_API uint16_t KxGetDbNamesData(int32_t handle, uint32_t* count);
/* Frees the calling thread's snapshot for this handle; harmless when there is none. */
KX_MGI_API uint16_t KxFreeDbNamesData(int32_t handle);
/* Name number 1..count of the snapshot. Names are at most 64 bytes (65 with the zero). */
KX_MGI_API uint16_t KxGetDbName(int32_t handle, uint32_t number, uint32_t* length, char* buffer);

/* Paths: at most 511 bytes; empty dictionary path = <home>/databases/<name in lower case>;
 * empty data path = the dictionary folder; relative paths are relative to the server's home.
 * A data path in the form \\SERVER\X$\DIR or \\SERVER\\DIR (as a client rewrites it for a
 * remote server) naming this server is stored as the local path /DIR (backslashes become
 * slashes, a drive "X$" is dropped); one naming another host gives KX_MGI_DATA_UNAVAILABLE.
 * Names: 1..64 bytes, no control bytes, none of [ ] = ; / \ , no blank at either end,
 * compared ignoring ASCII case. */
KX_MGI_API uint16_t KxCreateDatabase(int32_t handle, const char* name, const char* dictionaryPath,
                                     const char* dataPath, uint32_t flags);
KX_MGI_API uint16_t KxDropDatabase(int32_t handle, const char* name, uint8_t option);
KX_MGI_API uint16_t KxModifyDatabase(int32_t handle, const char* oldName, const char* newName,
                                     const char* dictionaryPath, const char* dataPath,
                                     uint32_t flags);
/* 0 when the named database exists, its folders are usable and every bit of `flags` that is
 * BOUND or INTEGRITY is set for it (KX_MGI_INVALID_SELECTION otherwise). */
KX_MGI_API uint16_t KxCheckDbInfo(int32_t handle, const char* name, uint32_t flags);
/* The server holding the named database, and in *isLocal 1 when that is this machine. */
KX_MGI_API uint16_t KxGetDbServerName(int32_t handle, const char* name, uint32_t* length,
                                      char* buffer, int16_t* isLocal);
KX_MGI_API uint16_t KxGetDbFlags(int32_t handle, const char* name, uint32_t* flags);
/* The paths as stored (possibly empty or relative). */
KX_MGI_API uint16_t KxGetDbDictionaryPath(int32_t handle, const char* name, uint32_t* length,
                                          char* buffer);
KX_MGI_API uint16_t KxGetDbDataPath(int32_t handle, const char* name, uint32_t* length,
                                    char* buffer);

/* ---- DSNs ------------------------------------------------------------------------------- */
/* The local machine's DSNs are the ODBC installer's: reads look at the system DSNs
 * ($ODBCSYSINI/odbc.ini) first and then the user's ($ODBCINI, default ~/.odbc.ini); new DSNs
 * are system DSNs; modify and delete act where the DSN was found. A remote server's DSNs are
 * in its folder's odbc.ini. Only DSNs of this engine's drivers are read, changed or deleted;
 * new ones use "Kestrin ODBC Engine Interface" with keys Description, DBQ (a named database of
 * that server) and OpenMode. DSN names: 1..32 bytes, none of []{}(),;?*=!@\ . */

/* Description and database name of a DSN. On KX_MGI_BUFFER_TOO_SMALL both lengths hold the
 * sizes needed. */
KX_MGI_API uint16_t KxGetDSN(int32_t handle, const char* dsn, uint32_t* descriptionLength,
                             char* description, uint32_t* databaseLength, char* database);
KX_MGI_API uint16_t KxCountDSNs(int32_t handle, uint32_t* count, uint16_t filter);
/* The DSN names joined by ';' (no ';' at the end). With no DSN the text is empty (length 1). */
KX_MGI_API uint16_t KxListDSNs(int32_t handle, uint32_t* length, char* buffer, uint16_t filter);
KX_MGI_API uint16_t KxCreateDSN(int32_t handle, const char* dsn, const char* description,
                                const char* database, int32_t openMode);
KX_MGI_API uint16_t KxDeleteDSN(int32_t handle, const char* dsn);
/* As KxGetDSN, plus the open mode 0..3. A missing OpenMode reads as 0. A stored OpenMode that
 * is none of 0, -1, 1, -4 gives KX_MGI_INVALID_OPEN_MODE with both texts filled and *openMode
 * untouched. Not exported by the "no-getdsnex" test build. */
KX_MGI_API uint16_t KxGetDSNEx(int32_t handle, const char* dsn, uint32_t* descriptionLength,
                               char* description, uint32_t* databaseLength, char* database,
                               int32_t* openMode);
KX_MGI_API uint16_t KxModifyDSN(int32_t handle, const char* dsn, const char* description,
                                const char* database, int32_t openMode);

/* ---- Engine information ----------------------------------------------------------------- */

/* engineKind 1 (server engine), version major.minor.build, and the platform code. Only
 * `platform` is required; the other pointers may be NULL. */
KX_MGI_API uint16_t KxGetEngineInformation(int32_t handle, uint8_t* engineKind, uint32_t* major,
                                           uint32_t* minor, uint32_t* build, uint32_t* platform);

/* Function pointer types, for loaders that look the entries up with dlsym. */
typedef uint16_t (*KxConnectServer_fn)(const char*, const char*, const char*, int32_t*);
typedef uint16_t (*KxDisconnect_fn)(int32_t);
typedef uint16_t (*KxGetServerName_fn)(int32_t, uint32_t*, char*);
typedef uint16_t (*KxStart_fn)(int32_t);
typedef uint16_t (*KxStop_fn)(int32_t*);
typedef uint16_t (*KxGetDbNamesData_fn)(int32_t, uint32_t*);
typedef uint16_t (*KxFreeDbNamesData_fn)(int32_t);
typedef uint16_t (*KxGetDbName_fn)(int32_t, uint32_t, uint32_t*, char*);
typedef uint16_t (*KxCreateDatabase_fn)(int32_t, const char*, const char*, const char*, uint32_t);
typedef uint16_t (*KxDropDatabase_fn)(int32_t, const char*, uint8_t);
typedef uint16_t (*KxModifyDatabase_fn)(int32_t, const char*, const char*, const char*, const char*,
                                        uint32_t);
typedef uint16_t (*KxCheckDbInfo_fn)(int32_t, const char*, uint32_t);
typedef uint16_t (*KxGetDbServerName_fn)(int32_t, const char*, uint32_t*, char*, int16_t*);
typedef uint16_t (*KxGetDbFlags_fn)(int32_t, const char*, uint32_t*);
typedef uint16_t (*KxGetDbDictionaryPath_fn)(int32_t, const char*, uint32_t*, char*);
typedef uint16_t (*KxGetDbDataPath_fn)(int32_t, const char*, uint32_t*, char*);
typedef uint16_t (*KxGetDSN_fn)(int32_t, const char*, uint32_t*, char*, uint32_t*, char*);
typedef uint16_t (*KxCountDSNs_fn)(int32_t, uint32_t*, uint16_t);
typedef uint16_t (*KxListDSNs_fn)(int32_t, uint32_t*, char*, uint16_t);
typedef uint16_t (*KxCreateDSN_fn)(int32_t, const char*, const char*, const char*, int32_t);
typedef uint16_t (*KxDeleteDSN_fn)(int32_t, const char*);
typedef uint16_t (*KxGetDSNEx_fn)(int32_t, const char*, uint32_t*, char*, uint32_t*, char*, int32_t*);
typedef uint16_t (*KxModifyDSN_fn)(int32_t, const char*, const char*, const char*, int32_t);
typedef uint16_t (*KxGetEngineInformation_fn)(int32_t, uint8_t*, uint32_t*, uint32_t*, uint32_t*,
                                              uint32_t*);

#ifdef __cplusplus
}
#endif

#endif /* KX_ENGINES_MGI_MGICLI_H */
