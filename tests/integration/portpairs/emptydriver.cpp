// A library that loads but offers neither CreatePair nor DeletePair.
extern "C" __attribute__((visibility("default"))) int vspdctlVersion()
{
    return 0;
}
