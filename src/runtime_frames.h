/* The registration of the 32-bit module's exception frames (runtime_frames.c). */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Told by the detach notification at process exit, before the module's exit list runs. */
void NoteProcessEnding(void);

#ifdef __cplusplus
}
#endif
