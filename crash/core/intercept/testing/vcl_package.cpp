// A stand-in for a host's visual library package (vcl150.bpl): the application's
// HandleException and ShowException under their exported names (testing/vcl_package.def),
// with the runtime's register convention. Unhooked, they only count their calls.

extern "C" {

__declspec(dllexport) int UnhookedCalls = 0;

[[gnu::regparm(3)]] void StandinHandleException(void*, void*)
{
    ++UnhookedCalls;
}

[[gnu::regparm(3)]] void StandinShowException(void*, void*)
{
    ++UnhookedCalls;
}

[[gnu::regparm(3)]] void StandinFmxHandleException(void*, void*)
{
    ++UnhookedCalls;
}
}
