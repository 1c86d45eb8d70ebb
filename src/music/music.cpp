#include "core/win32.h"

#include "music/music.h"
#include "core/com_ptr.h"
#include "core/core.h"
#include "core/media.h"
#include "core/idlist.h"
#include "core/item_lookup.h"
#include "video/graph_deadline.h"
#include "video/stream_check.h"
#include "core/error_numbers.h"

#include <dshow.h>
#include <mmsystem.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr std::int32_t kMaxNumber = 22000000;
constexpr std::int32_t kNameBuffer = 260;
constexpr ItemNumbers kMusicNumbers{1, kMaxNumber, kMusicNumberIllegal, kMusicMissing};

struct MusicRecord {
    std::int32_t kind = 0; // 0 music file, 1 CD track
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    ComPtr<IBasicAudio> audio;
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IMediaPosition> position;
    std::int32_t track = 0;
    std::int32_t loaded = 0;
    std::uint8_t paused = 0;
    std::uint8_t playing = 0;
    std::uint8_t looping = 0;
    std::int32_t volume = 0;
    std::int32_t speed = 0;
};

struct State {
    CoreData* core = nullptr;
    IdList list; // music number -> record, in load order
    MusicRecord* current = nullptr;
    MciSender mci = nullptr;
};
State s;

MCIERROR SendMci(const char* command, char* reply = nullptr, UINT replySize = 0) {
    if (s.mci) return s.mci(command, reply, replySize, nullptr);
    return mciSendStringA(command, reply, replySize, nullptr);
}

// The interfaces go in reverse order of declaration: the graph last.
void FreeRecord(MusicRecord* r) {
    delete r;
}

bool ValidNumber(std::int32_t n) {
    return CheckItemNumber(n, kMusicNumbers);
}

// The record of n, or null after raising the error.
MusicRecord* Lookup(std::int32_t n) {
    return CheckedItem(n, kMusicNumbers, [](std::int32_t id) {
        return s.current = static_cast<MusicRecord*>(s.list.Find(id));
    });
}

bool FreeNumber(std::int32_t n) {
    if (!ValidNumber(n)) return false;
    if (s.list.Find(n)) {
        RaiseRuntimeError(kMusicExists);
        return false;
    }
    return true;
}

bool AddRecord(std::int32_t n, MusicRecord* r) {
    if (s.list.Add(n, r, 0, 1) == 0) {
        FreeRecord(r);
        RaiseRuntimeError(kMusicNotLoadable);
        return false;
    }
    return true;
}

std::int32_t CdTrackCount() {
    char reply[256] = {};
    SendMci("status cdaudio number of tracks", reply, sizeof reply);
    return std::atoi(reply);
}

void PlayCdTrack(MusicRecord& r) {
    const std::int32_t tracks = CdTrackCount();
    char command[96];
    if (r.track >= tracks)
        std::snprintf(command, sizeof command, "play cdaudio from %d", static_cast<int>(r.track));
    else
        std::snprintf(command, sizeof command, "play cdaudio from %d to %d",
                      static_cast<int>(r.track), static_cast<int>(r.track + 1));
    SendMci(command);
    r.playing = 1;
    r.looping = 0;
}

// A CD's volume is the master speaker volume.
void SetCdVolume(std::int32_t volume) {
    if (mixerGetNumDevs() == 0) return;
    HMIXER mixer = nullptr;
    const HWND window = s.core ? s.core->window : nullptr;
    if (mixerOpen(&mixer, 0, reinterpret_cast<DWORD_PTR>(window), 0,
                  window ? CALLBACK_WINDOW : 0) != MMSYSERR_NOERROR)
        return;
    MIXERCAPSA caps{};
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    MIXERCONTROLA control{};
    MIXERLINECONTROLSA controls{};
    controls.cbStruct = sizeof controls;
    controls.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof control;
    controls.pamxctrl = &control;
    const HMIXEROBJ object = reinterpret_cast<HMIXEROBJ>(mixer);
    if (mixerGetDevCapsA(reinterpret_cast<UINT_PTR>(mixer), &caps, sizeof caps) ==
            MMSYSERR_NOERROR &&
        mixerGetLineInfoA(object, &line, MIXER_GETLINEINFOF_COMPONENTTYPE) == MMSYSERR_NOERROR) {
        controls.dwLineID = line.dwLineID;
        if (mixerGetLineControlsA(object, &controls, MIXER_GETLINECONTROLSF_ONEBYTYPE) ==
            MMSYSERR_NOERROR) {
            MIXERCONTROLDETAILS_UNSIGNED value{};
            value.dwValue =
                MusicCdVolumeValue(control.Bounds.dwMinimum, control.Bounds.dwMaximum, volume);
            MIXERCONTROLDETAILS details{};
            details.cbStruct = sizeof details;
            details.dwControlID = control.dwControlID;
            details.cChannels = 1;
            details.cbDetails = sizeof value;
            details.paDetails = &value;
            mixerSetControlDetails(object, &details, MIXER_SETCONTROLDETAILSF_VALUE);
        }
    }
    mixerClose(mixer);
}

void LoadMusicBody(const char* fileName, std::int32_t n) {
    if (!FreeNumber(n)) return;
    auto* r = new (std::nothrow) MusicRecord;
    if (!r) return RaiseRuntimeError(kMusicNotLoadable);
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                r->graph.PutVoid()))) {
        FreeRecord(r);
        return RaiseRuntimeError(kMusicNotLoadable);
    }
    wchar_t wide[kNameBuffer] = {};
    const bool converted =
        fileName && *fileName &&
        MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, fileName, -1, wide, kNameBuffer) > 0;
    if (!converted || !CheckedAudioFile(fileName) ||
        FAILED(RenderFileWithDeadline(r->graph, wide)) ||
        FAILED(r->graph->QueryInterface(IID_IMediaControl, r->control.PutVoid())) ||
        FAILED(r->graph->QueryInterface(IID_IMediaEventEx, r->events.PutVoid())) ||
        FAILED(r->graph->QueryInterface(IID_IMediaSeeking, r->seeking.PutVoid())) ||
        FAILED(r->graph->QueryInterface(IID_IBasicAudio, r->audio.PutVoid())) ||
        FAILED(r->graph->QueryInterface(IID_IMediaPosition, r->position.PutVoid()))) {
        FreeRecord(r);
        return RaiseRuntimeError(kMusicNotLoadable);
    }
    r->kind = 0;
    r->loaded = 1;
    r->volume = 100;
    r->speed = 100;
    AddRecord(n, r);
}

void RewindFile(MusicRecord& r) {
    LONGLONG start = 0;
    r.seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                            AM_SEEKING_NoPositioning);
}

// Takes a file's pending events; false when it has no event interface.
bool UpdateFile(MusicRecord& r) {
    if (!r.events) {
        ReportInternalError("Update - media event interface invalid");
        return false;
    }
    long code = 0;
    LONG_PTR first = 0, second = 0;
    while (r.events->GetEvent(&code, &first, &second, 0) == S_OK) {
        r.events->FreeEventParams(code, first, second);
        if (code != EC_COMPLETE) continue;
        if (!r.looping) {
            r.playing = 0;
        } else if (r.control && r.seeking) {
            // A running graph ignores a rewind after its end: stop, rewind, run.
            r.control->Stop();
            RewindFile(r);
            r.control->Run();
        } else if (r.control) {
            r.control->Stop();
            r.control->Run();
        }
    }
    return true;
}

} // namespace

void MusicConstructor(HWND) {}

void MusicDestructor() {
    SendMci("stop cdaudio");
    SendMci("close cdaudio");
    for (IdListNode* node = s.list.first; node; node = node->next)
        FreeRecord(static_cast<MusicRecord*>(node->data));
    s.list.Clear();
    s.current = nullptr;
}

void MusicSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void MusicPassCoreData(CoreData* core) {
    s.core = core;
}

void MusicRefreshD3D(std::int32_t) {}

void MusicUpdate() {
    for (IdListNode* node = s.list.first; node; node = node->next) {
        auto* r = static_cast<MusicRecord*>(node->data);
        if (!r || r->paused) continue;
        if (r->kind == 1) {
            char reply[256] = {};
            SendMci("status cdaudio mode", reply, sizeof reply);
            if (std::strcmp(reply, "stopped") == 0) {
                if (r->looping) {
                    PlayCdTrack(*r);
                    r->looping = 1;
                } else {
                    r->playing = 0;
                }
            }
        } else if (!UpdateFile(*r)) {
            return;
        }
    }
}

void SetMciSender(MciSender sender) {
    s.mci = sender;
}

long MusicFileVolume(std::int32_t volume) {
    if (volume < 1) return -10000;
    // In 64 bits: a large volume stays above 0 (which DirectShow refuses), never wraps into range.
    const std::int64_t value = (std::int64_t{volume} - 100) * 25;
    return static_cast<long>(std::min<std::int64_t>(value, LONG_MAX));
}

DWORD MusicCdVolumeValue(DWORD minimum, DWORD maximum, std::int32_t volume) {
    const DWORD span = maximum > minimum ? maximum - minimum : 0;
    const double value = static_cast<double>(span) * 0.01 * volume;
    // A value outside the span has no unsigned conversion: the span's ends stand for it.
    if (!(value > 0)) return 0;
    return value >= span ? span : static_cast<DWORD>(value);
}

void LoadMusicFile(const char* fileName, std::int32_t n) {
    // Names that cannot take the redirect are refused rather than cut short.
    ScopedMediaName name(s.core, fileName);
    if (!name.Ok()) {
        if (ValidNumber(n) && FreeNumber(n)) RaiseRuntimeError(kMusicNotLoadable);
        return;
    }
    LoadMusicBody(name.Text(), n);
}

void LoadCdMusic(std::int32_t track, std::int32_t n) {
    if (!FreeNumber(n)) return;
    if (track < 1 || track > kMaxNumber) return RaiseRuntimeError(kMusicTrackIllegal);
    auto* r = new (std::nothrow) MusicRecord;
    if (!r) return RaiseRuntimeError(kMusicNotLoadable);
    r->kind = 1;
    r->track = track;
    r->loaded = 1;
    SendMci("open cdaudio");
    SendMci("set cdaudio time format tmsf");
    AddRecord(n, r);
}

void DeleteMusic(std::int32_t n) {
    MusicRecord* r = Lookup(n);
    if (!r) return;
    s.list.Delete(n);
    FreeRecord(r);
    s.current = nullptr;
}

void PlayMusic(std::int32_t n) {
    MusicRecord* r = Lookup(n);
    if (!r) return;
    if (r->kind == 1) return PlayCdTrack(*r);
    if (!r->control) return ReportInternalError("PlayMusic - invalid media control interface");
    r->control->Run();
    r->playing = 1;
    r->looping = 0;
}

void LoopMusic(std::int32_t n) {
    MusicRecord* r = Lookup(n);
    if (!r) return;
    if (r->kind == 1) {
        PlayCdTrack(*r);
    } else {
        if (!r->control) return ReportInternalError("PlayMusic - invalid media control interface");
        r->control->Run();
    }
    r->playing = 1;
    r->looping = 1;
}

void StopMusic(std::int32_t n) {
    MusicRecord* r = Lookup(n);
    if (!r) return;
    r->playing = 0;
    r->looping = 0;
    if (r->kind == 1) {
        SendMci("stop cdaudio");
        return;
    }
    if (!r->control) return ReportInternalError("StopMusic - invalid media control interface");
    // Stopped first: a graph still running at its end ignores the rewind.
    r->control->Stop();
    if (r->seeking)
        RewindFile(*r);
    else
        ReportInternalError("StopMusic - invalid media control interface");
}

void PauseMusic(std::int32_t n) {
    MusicRecord* r = Lookup(n);
    if (!r) return;
    r->playing = 0;
    r->paused = 1;
    if (r->kind == 1) {
        SendMci("pause cdaudio");
    } else if (r->control) {
        r->control->Pause();
    } else {
        ReportInternalError("PauseMusic - invalid media control interface");
    }
}

void ResumeMusic(std::int32_t n) {
    MusicRecord* r = Lookup(n);
    if (!r) return;
    r->playing = 1;
    r->paused = 0;
    if (r->kind == 1) {
        SendMci("resume cdaudio");
    } else if (r->control) {
        r->control->Run();
    } else {
        ReportInternalError("ResumeMusic - invalid media control interface");
    }
}

void SetMusicVolume(std::int32_t n, std::int32_t volume) {
    MusicRecord* r = Lookup(n);
    if (!r) return;
    r->volume = volume;
    if (r->kind == 1) return SetCdVolume(volume);
    if (!r->audio) return ReportInternalError("SetMusicVolume - invalid basic audio interface");
    r->audio->put_Volume(MusicFileVolume(volume));
}

void SetMusicSpeed(std::int32_t n, std::int32_t speed) {
    MusicRecord* r = Lookup(n);
    if (!r) return;
    if (speed < 0) return RaiseRuntimeError(kMusicSpeedIllegal);
    if (!r->position)
        return ReportInternalError("SetMusicSpeed - invalid pMediaPosition interface");
    r->speed = speed;
    const double rate = speed * 0.01;
    if (r->control) r->control->Pause();
    if (r->seeking) r->seeking->SetRate(rate);
    r->position->put_Rate(rate);
    if (r->control) r->control->Run();
}

std::int32_t MusicExist(std::int32_t n) {
    if (!ValidNumber(n)) return 0;
    return s.list.Find(n) ? 1 : 0;
}

std::int32_t MusicPlaying(std::int32_t n) {
    const MusicRecord* r = Lookup(n);
    return r ? r->playing : 0;
}

std::int32_t MusicLooping(std::int32_t n) {
    const MusicRecord* r = Lookup(n);
    return r ? r->looping : 0;
}

std::int32_t MusicPaused(std::int32_t n) {
    const MusicRecord* r = Lookup(n);
    return r ? r->paused : 0;
}

std::int32_t GetMusicVolume(std::int32_t n) {
    const MusicRecord* r = Lookup(n);
    return r ? r->volume : 0;
}

std::int32_t GetMusicSpeed(std::int32_t n) {
    const MusicRecord* r = Lookup(n);
    return r ? r->speed : 0;
}

std::int32_t GetCdTrackCount() {
    return CdTrackCount();
}
