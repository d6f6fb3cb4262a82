// The value interface of a control: every value operation goes through one
// exported virtual, value_stuff, and the convenient setters are inline over
// it, so a plug-in needs no other symbol of the host to set a value.
#pragma once

#include "DDImage/DDImage_API.h"

namespace DD {
namespace Image {

class DDImage_API ValueStuffI {
public:
    // Arguments of the operations, one member per operation code.
    union ValueStuffArg {
        struct SetValueArg {
            double v;
            int channel;
        } set_value;
    };

    // Operation codes for value_stuff. This host carries only set_value.
    enum ValueStuffOp { SET_VALUE = 0 };

    virtual ~ValueStuffI() = default;

    // Runs operation `what` with its arguments in `user`; the result depends
    // on the operation (set_value: non-zero when a component was set).
    virtual int value_stuff(int what, ValueStuffArg* user = nullptr) const = 0;

    // Sets a component (every component for -1) at the host's current frame.
    bool set_value(double v, int channel = -1) {
        ValueStuffArg arg;
        arg.set_value.v = v;
        arg.set_value.channel = channel;
        return value_stuff(SET_VALUE, &arg) != 0;
    }
};

}  // namespace Image
}  // namespace DD
