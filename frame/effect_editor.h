// The interface of an editor object an effect may attach with setEditor.
// Only the operations the frame calls are fixed; the instance owns the editor
// and deletes it through the virtual destructor.
#pragma once

#include "aeffect.h"

struct VstKeyCode;

class EffectEditor {
public:
    virtual ~EffectEditor() = default;
    virtual bool getRect(void* rect) = 0;
    virtual bool open(void* parentWindow) = 0;
    virtual void close() = 0;
    virtual void idle() = 0;
    virtual bool onKeyDown(VstKeyCode& keyCode) = 0;
    virtual bool onKeyUp(VstKeyCode& keyCode) = 0;
    virtual bool setKnobMode(VstInt32 mode) = 0;
};
