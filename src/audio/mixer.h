// The speakers' master volume, set through the system mixer. Every call
// opens mixer device 0, works and closes it again, so the object holds
// nothing between calls.
#ifndef VD_AUDIO_MIXER_H
#define VD_AUDIO_MIXER_H

namespace vd {

class CMixer {
public:
    virtual ~CMixer();

    // Writes volume (0..0xFFFF is the usual range, 0xFFFF the loudest) to
    // the volume control of the speakers line, for all its channels alike,
    // unscaled. True when the mixer took the value.
    bool SetVolume(unsigned int volume);
};

}  // namespace vd

#endif
