// A module that carries nothing but its settings block (testing/leaky_module.txt).

extern "C" {
__declspec(dllexport) int LeakyModule = 1;
}
