// A stand-in for libvspdctl.so whose answers the test chooses through the
// environment, read at every call:
//   VSPD_FAKE_LOG     file to which every call is appended as one line
//                     ("CreatePair COM5 PENT5", "DeletePair COM5")
//   VSPD_FAKE_CREATE  "fail": CreatePair answers false; "ok" (default): answers true and
//                     creates nothing; "late:<ms>": answers true and creates the pair
//                     <ms> later through the real library named by VSPD_FAKE_REAL
//   VSPD_FAKE_DELETE  "fail": DeletePair answers false; otherwise true (removes nothing)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <dlfcn.h>

namespace {

std::string env(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

void record(const std::string &line)
{
    const std::string path = env("VSPD_FAKE_LOG");
    if (path.empty())
        return;
    if (FILE *f = std::fopen(path.c_str(), "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) bool CreatePair(const char *userSide,
                                                                 const char *toolSide)
{
    const std::string user = userSide ? userSide : "(null)";
    const std::string tool = toolSide ? toolSide : "(null)";
    record("CreatePair " + user + " " + tool);
    const std::string mode = env("VSPD_FAKE_CREATE");
    if (mode == "fail")
        return false;
    if (mode.rfind("late:", 0) == 0) {
        const int ms = std::atoi(mode.c_str() + 5);
        const std::string real = env("VSPD_FAKE_REAL");
        std::thread([ms, real, user, tool] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            void *handle = dlopen(real.c_str(), RTLD_NOW);
            if (!handle)
                return;
            using Create = bool (*)(const char *, const char *);
            if (auto create = reinterpret_cast<Create>(dlsym(handle, "CreatePair")))
                create(user.c_str(), tool.c_str());
        }).detach();
    }
    return true;
}

extern "C" __attribute__((visibility("default"))) bool DeletePair(const char *userSide)
{
    record(std::string("DeletePair ") + (userSide ? userSide : "(null)"));
    return env("VSPD_FAKE_DELETE") != "fail";
}
