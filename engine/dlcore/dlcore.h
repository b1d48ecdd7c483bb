/* The download engine's C interface. Records are the packed task-creation (26564 bytes)
 * and task-progress (1429 bytes) layouts; handles are opaque. */
#ifndef QUORVEL_DLCORE_H
#define QUORVEL_DLCORE_H

#ifdef __cplusplus
extern "C" {
#endif

typedef void* DLTask;

#define DLCORE_API __attribute__((visibility("default")))

/* Starts the engine when none runs; further calls do nothing. Returns 1. */
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

#ifdef __cplusplus
}
#endif

#endif
