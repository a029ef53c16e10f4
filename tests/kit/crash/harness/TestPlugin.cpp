// A small library the image-table tests load and unload after set-up.
extern "C" int lumettaTestPluginValue(int input)
{
    return input * 7 + 3;
}
