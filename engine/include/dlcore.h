/* The download engine's C interface. Records are the packed task-creation (26564 bytes)
 * and task-progress (1429 bytes) layouts; handles are opaque. */
#ifndef QUORVEL_DLCORE_H
#define QUORVEL_DLCORE_H

#ifdef __cplusplus
extern "C" {
#endif

typedef void* DLTask;

/* The sizes of the two packed records, in bytes. */
#define DL_CREATE_PARAMS_SIZE 26564
#define DL_PROGRESS_INFO_SIZE 1429

/* Progress states: the stat field of the task-progress record. */
enum {
  DL_STATE_CANCELLED = 1, /* failed (fail_code set) or cancelled (fail_code 0) */
  DL_STATE_STOPPED = 2,
  DL_STATE_RUNNING = 3,
  DL_STATE_COMPLETE = 4,
  DL_STATE_REQUESTING = 5,
  DL_STATE_STOPPING = 6
};

/* Failure codes beside the HTTP statuses (404, 500, ...) that are reported as they are. */
enum {
  DL_FAIL_NETWORK = 1001,     /* connections kept failing */
  DL_FAIL_DISK_WRITE = 1002,  /* the data could not be written */
  DL_FAIL_DISK_FULL = 1003,   /* no space left */
  DL_FAIL_FOLDER = 1004,      /* the save folder cannot be made or written to */
  DL_FAIL_BAD_TASK = 1005,    /* the task record holds no usable address, name or folder */
  DL_FAIL_UNSTABLE = 1006,    /* the file kept changing on the server */
  DL_FAIL_TARGET_BUSY = 1007, /* another task (of this or another process) downloads into the same file */
  DL_FAIL_BAD_NAME = 1008,    /* the file system refuses the name (too long, not valid there) */
  DL_FAIL_FOREIGN = 1009,     /* the server kept answering with something else than the file */
  DL_FAIL_CERTIFICATE = 1010, /* the server's certificate is not trusted (not retried) */
  DL_FAIL_REDIRECT = 1011,    /* a redirect the engine does not follow: another scheme, https to http, over 10 */
  DL_FAIL_PROTOCOL = 1012,    /* the server's answer is not HTTP the engine can use (not retried) */
  DL_FAIL_RESOLVE = 1013,     /* the server's name could not be resolved */
  DL_FAIL_REFUSED = 1014,     /* the server refused every connection */
  DL_FAIL_TIMEOUT = 1015,     /* the server did not answer in time */
  DL_FAIL_PAGE = 1016         /* a web page came in place of a file that is never one (IsOnlyOriginal) */
};

/* What puts a function into the library's interface: the library is built with everything
 * else hidden where the compiler can hide it. Another toolchain is another branch here. */
#if defined(_WIN32) && defined(DLCORE_BUILDING)
#define DLCORE_API __declspec(dllexport)
#elif defined(_WIN32)
/* Imported: a caller's &DL_Init is then the function in the DLL, not a stub in the caller. */
#define DLCORE_API __declspec(dllimport)
#elif defined(__GNUC__)
#define DLCORE_API __attribute__((visibility("default")))
#else
#define DLCORE_API
#endif

/* Starts the engine when none runs; further calls do nothing. Returns 1, or 0 when the
 * engine cannot start (no memory or no thread for it). */
DLCORE_API int DL_Init(void);
/* Stops every transfer with its resume data flushed and ends the engine. Until the next
 * DL_Init every call does nothing and every handle is unknown; the handles of a later engine
 * never repeat those of an earlier one. A call racing it on another thread finishes first. */
DLCORE_API void DL_UnInit(void);
/* A new task from a task-creation record (0 for a null record, or after DL_UnInit). A
 * record the engine cannot use gives a task that reports state 1 with a failure code. The
 * first task asked for before any DL_Init starts the engine. */
DLCORE_API DLTask DL_CreateTask(const void* createParams);
DLCORE_API void DL_StartTask(DLTask task);
/* Fills the task-progress record; 0 for an unknown handle. Never blocks on the network. */
DLCORE_API int DL_QueryTaskInfoEx(DLTask task, void* progressInfo);
/* Pauses the task: returns at once, the task reads state 6 until its resume data is flushed
 * and then state 2. Calls made after it see the task stopped. */
DLCORE_API void DL_StopTask(DLTask task);
/* Forgets the task; its handle then reports state 1 with failure code 0. */
DLCORE_API void DL_DeleteTask(DLTask task);
/* Removes the temporary data and state files of the record's folder and name (never a
 * completed file, never those of a running task). */
DLCORE_API void DL_DelTempFile(const void* createParams);
/* The speed limit of all downloads together, in bytes per second, shared by every connection
 * of every task; 0 or less lifts it. It holds until changed or until DL_UnInit. The first call
 * before any DL_Init starts the engine. */
DLCORE_API void DL_SetDownloadLimit(long long bytesPerSecond);

#ifdef __cplusplus
}
#endif

#endif
