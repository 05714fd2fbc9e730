#include "audio/mixer.h"

#include <windows.h>
#include <mmsystem.h>

namespace vd {

namespace {

// The control of the given type on the mixer's line of the given
// component type.
bool FindLineControl(HMIXER mixer, DWORD componentType, DWORD controlType, MIXERCONTROLA* control) {
    MIXERLINEA line = {};
    line.cbStruct = sizeof line;
    line.dwComponentType = componentType;
    if (mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(mixer), &line, MIXER_GETLINEINFOF_COMPONENTTYPE) !=
        MMSYSERR_NOERROR) {
        return false;
    }
    *control = MIXERCONTROLA{};
    control->cbStruct = sizeof *control;
    MIXERLINECONTROLSA controls = {};
    controls.cbStruct = sizeof controls;
    controls.dwLineID = line.dwLineID;
    controls.dwControlType = controlType;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof *control;
    controls.pamxctrl = control;
    return mixerGetLineControlsA(reinterpret_cast<HMIXEROBJ>(mixer), &controls, MIXER_GETLINECONTROLSF_ONEBYTYPE) ==
           MMSYSERR_NOERROR;
}

// One unsigned value for every channel of the control.
bool SetControlValue(HMIXER mixer, DWORD controlId, unsigned int value) {
    MIXERCONTROLDETAILS_UNSIGNED detail = {};
    detail.dwValue = value;
    MIXERCONTROLDETAILS details = {};
    details.cbStruct = sizeof details;
    details.dwControlID = controlId;
    details.cChannels = 1;
    details.cbDetails = sizeof detail;
    details.paDetails = &detail;
    return mixerSetControlDetails(reinterpret_cast<HMIXEROBJ>(mixer), &details,
                                  MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE) == MMSYSERR_NOERROR;
}

}  // namespace

CMixer::~CMixer() = default;

bool CMixer::SetVolume(unsigned int volume) {
    HMIXER mixer = nullptr;
    if (mixerOpen(&mixer, 0, 0, 0, 0) != MMSYSERR_NOERROR) return false;
    MIXERCONTROLA control;
    const bool set =
        FindLineControl(mixer, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME, &control) &&
        SetControlValue(mixer, control.dwControlID, volume);
    mixerClose(mixer);
    return set;
}

}  // namespace vd
