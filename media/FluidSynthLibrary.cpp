// The FluidSynth functions the sequencer calls, defined here so that the program does not
// load libfluidsynth (and the dozen libraries it brings: GLib's objects, libinstpatch, JACK,
// readline ...) at start, only when the first MIDI file opens. Each resolves its namesake in
// the library once, on first use; the library is loaded then, once, and never let go. When
// it cannot be loaded, each says so on standard error once and answers as the library does
// on failure (null, FLUID_FAILED), so that the MIDI file is refused, never the program.
//
// Threads: any; the library is loaded under the C++ run time's lock of a static's first use.

#include <dlfcn.h>
#include <fluidsynth.h>

#include <cstdio>

namespace {

// The library the headers come from: FluidSynth 2.2 and later are soname 3.
constexpr const char* kFluidSynthLibrary = "libfluidsynth.so.3";
static_assert(FLUIDSYNTH_VERSION_MAJOR == 2, "the soname above belongs to FluidSynth 2");

void* Library()
{
    static void* const handle = [] {
        void* loaded = dlopen(kFluidSynthLibrary, RTLD_NOW | RTLD_LOCAL);
        if (loaded == nullptr)
            std::fprintf(stderr, "sorvane: the MIDI synthesizer cannot be loaded (%s)\n",
                         dlerror());
        return loaded;
    }();
    return handle;
}

// The library's own fn, named name; null when the library or the function is missing.
template<typename Fn>
Fn Resolve(Fn, const char* name)
{
    void* library = Library();
    return library != nullptr ? reinterpret_cast<Fn>(dlsym(library, name)) : nullptr;
}

} // namespace

// A function of the library: its own, once resolved; failed when missing.
#define SORVANE_FLUID(ret, name, params, args, failed)                                             \
    ret name params                                                                                \
    {                                                                                              \
        static const auto fn = Resolve(&name, #name);                                              \
        return fn != nullptr ? fn args : failed;                                                   \
    }

extern "C" {

SORVANE_FLUID(fluid_settings_t*, new_fluid_settings, (void), (), nullptr)
SORVANE_FLUID(int, fluid_settings_setstr, (fluid_settings_t * s, const char* name, const char* v),
              (s, name, v), FLUID_FAILED)
SORVANE_FLUID(int, fluid_settings_setnum, (fluid_settings_t * s, const char* name, double v),
              (s, name, v), FLUID_FAILED)
SORVANE_FLUID(int, fluid_settings_setint, (fluid_settings_t * s, const char* name, int v),
              (s, name, v), FLUID_FAILED)
SORVANE_FLUID(fluid_log_function_t, fluid_set_log_function,
              (int level, fluid_log_function_t fun, void* data), (level, fun, data), nullptr)
SORVANE_FLUID(int, fluid_is_soundfont, (const char* filename), (filename), 0)

SORVANE_FLUID(fluid_synth_t*, new_fluid_synth, (fluid_settings_t * settings), (settings), nullptr)
SORVANE_FLUID(int, fluid_synth_sfload, (fluid_synth_t * synth, const char* file, int reset),
              (synth, file, reset), FLUID_FAILED)
SORVANE_FLUID(int, fluid_synth_sfunload, (fluid_synth_t * synth, int id, int reset),
              (synth, id, reset), FLUID_FAILED)
SORVANE_FLUID(int, fluid_synth_system_reset, (fluid_synth_t * synth), (synth), FLUID_FAILED)
SORVANE_FLUID(int, fluid_synth_all_notes_off, (fluid_synth_t * synth, int chan), (synth, chan),
              FLUID_FAILED)
SORVANE_FLUID(int, fluid_synth_all_sounds_off, (fluid_synth_t * synth, int chan), (synth, chan),
              FLUID_FAILED)
SORVANE_FLUID(int, fluid_synth_write_float,
              (fluid_synth_t * synth, int len, void* lout, int loff, int lincr, void* rout,
               int roff, int rincr),
              (synth, len, lout, loff, lincr, rout, roff, rincr), FLUID_FAILED)

SORVANE_FLUID(fluid_player_t*, new_fluid_player, (fluid_synth_t * synth), (synth), nullptr)
SORVANE_FLUID(int, fluid_player_add_mem, (fluid_player_t * player, const void* buffer, size_t len),
              (player, buffer, len), FLUID_FAILED)
SORVANE_FLUID(int, fluid_player_seek, (fluid_player_t * player, int ticks), (player, ticks),
              FLUID_FAILED)
SORVANE_FLUID(int, fluid_player_play, (fluid_player_t * player), (player), FLUID_FAILED)
SORVANE_FLUID(int, fluid_player_stop, (fluid_player_t * player), (player), FLUID_FAILED)

// Nothing to delete without the library: no player was ever made.
void delete_fluid_player(fluid_player_t* player)
{
    static const auto fn = Resolve(&delete_fluid_player, "delete_fluid_player");
    if (fn != nullptr)
        fn(player);
}

} // extern "C"
