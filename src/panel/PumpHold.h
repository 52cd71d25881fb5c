// Work that holds the model-operation pump from the moment it starts until it is answered: the
// capture, which opens a view and waits for it to draw. The palette owns it through one slot;
// the layer that does the work fills the slot with its own object.
#pragma once

class Palette;

class PumpHold {
public:
    enum class CancelReason {
        ProjectChange,  // answered "view_not_found"; nothing of the old project is put back
        Release,        // not answered; a view it opened is put back, as nobody would later
    };

    virtual ~PumpHold() = default;
    // True from the start of the work until it is answered; the pump runs nothing else meanwhile.
    virtual bool Holding() const = 0;
    // One turn of the pump while the work holds it.
    virtual void Turn(Palette& palette) = 0;
    // Ends the work at once, leaving it idle.
    virtual void Cancel(Palette& palette, CancelReason reason) = 0;
};
