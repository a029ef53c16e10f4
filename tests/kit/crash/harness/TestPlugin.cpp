// A small library the image-table tests load and unload after set-up, and a
// crasher loads to fault in.
extern "C" int lumettaTestPluginValue(int input)
{
    return input * 7 + 3;
}

extern "C" __attribute__((noinline)) void lumettaTestPluginFault(volatile int* target)
{
    *target = 7; // plugin fault line
}
