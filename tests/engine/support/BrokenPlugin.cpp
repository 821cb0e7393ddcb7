// A plug-in library that is there but unusable: BROKEN_PLUGIN_NULL exports a GetInstance and
// a CreateInstance that give no object; BROKEN_PLUGIN_NOEXPORT exports neither.

#if defined(BROKEN_PLUGIN_NULL)
extern "C" __attribute__((visibility("default"))) void* GetInstance()
{
    return nullptr;
}
extern "C" __attribute__((visibility("default"))) void* CreateInstance()
{
    return nullptr;
}
#else
extern "C" __attribute__((visibility("default"))) int SomethingElse()
{
    return 0;
}
#endif
