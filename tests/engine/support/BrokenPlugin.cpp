// A plug-in library that is there but unusable: BROKEN_PLUGIN_NULL exports a GetInstance
// that gives no object; BROKEN_PLUGIN_NOEXPORT exports nothing by that name.

#if defined(BROKEN_PLUGIN_NULL)
extern "C" __attribute__((visibility("default"))) void* GetInstance()
{
    return nullptr;
}
#else
extern "C" __attribute__((visibility("default"))) int SomethingElse()
{
    return 0;
}
#endif
