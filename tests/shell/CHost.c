/* A host written in C, without Qt: the header compiles as C, and the plug-in brings up its own
 * user-interface application, runs a call that opens nothing, and unloads cleanly. */
#include <devicemgmt/frame.h>

#include <dlfcn.h>
#include <stddef.h>
#include <stdio.h>

static int work_path_calls = 0;

FRAME_EXPORT int32_t FRAME_CALL Frame_ExecSqlCmd(const char* statement) { return statement != 0; }
FRAME_EXPORT FrameWindow FRAME_CALL Frame_GetMainHandle(void) { return 0; }
FRAME_EXPORT int32_t FRAME_CALL Frame_HaveRight(int32_t right) { return right == 5; }
FRAME_EXPORT void* FRAME_CALL Frame_GetImageByID(int32_t id) {
    (void)id;
    return NULL;
}
FRAME_EXPORT void FRAME_CALL Frame_AddSystemLog(const char* text) { (void)text; }
FRAME_EXPORT const char* FRAME_CALL Frame_GetWorkPath(void) {
    ++work_path_calls;
    return "/tmp";
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
    void* plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    void* self = dlopen(0, RTLD_NOW);
    if (plugin == 0 || self == 0) {
        fprintf(stderr, "cannot load: %s\n", dlerror());
        return 1;
    }
    /* POSIX's way to take a function from dlsym in ISO C. */
    FrameModule (*init)(FrameWindow, FrameModule, intptr_t, intptr_t);
    void (*set_ado_string)(const char*);
    void (*exec_func)(uint32_t);
    *(void**)(&init) = dlsym(plugin, "Frame_Init");
    *(void**)(&set_ado_string) = dlsym(plugin, "Frame_SetAdoString");
    *(void**)(&exec_func) = dlsym(plugin, "Frame_ExecFunc");
    if (init == 0 || set_ado_string == 0 || exec_func == 0) {
        fprintf(stderr, "entry points missing\n");
        return 1;
    }
    if (init(12345, self, -1, 7) != self) {
        fprintf(stderr, "Frame_Init must return the host module\n");
        return 1;
    }
    set_ado_string(0);
    exec_func(0);
    exec_func(11);
    dlclose(plugin);
    dlclose(self);
    if (work_path_calls != 2) {
        fprintf(stderr, "Frame_GetWorkPath called %d times, not 2\n", work_path_calls);
        return 1;
    }
    printf("C host: ok\n");
    return 0;
}
