/* The engine's C interface as a C program sees it: every export, code and size. */
#include "dlcore.h"

typedef char create_params_size_is_26564[DL_CREATE_PARAMS_SIZE == 26564 ? 1 : -1];
typedef char progress_info_size_is_1429[DL_PROGRESS_INFO_SIZE == 1429 ? 1 : -1];

int dlcore_header_uses(void);
int dlcore_header_uses(void) {
  int (*init)(void) = DL_Init;
  void (*uninit)(void) = DL_UnInit;
  DLTask (*create)(const void*) = DL_CreateTask;
  void (*start)(DLTask) = DL_StartTask;
  int (*query)(DLTask, void*) = DL_QueryTaskInfoEx;
  void (*stop)(DLTask) = DL_StopTask;
  void (*remove)(DLTask) = DL_DeleteTask;
  void (*temp)(const void*) = DL_DelTempFile;
  (void)init, (void)uninit, (void)create, (void)start, (void)query, (void)stop, (void)remove, (void)temp;
  return DL_STATE_CANCELLED + DL_STATE_STOPPING + DL_FAIL_NETWORK + DL_FAIL_FOREIGN;
}
