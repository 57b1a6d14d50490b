// A library without debug information (linked stripped): its one export calls back.

extern "C" __declspec(dllexport)
    __attribute__((noinline)) void ForwardCall(void (*callback)(void*), void* argument)
{
    callback(argument);
    asm volatile("" ::: "memory");
}
