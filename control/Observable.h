#pragma once

namespace zqt {

// Sets `field` to `value` and emits `changed` from `owner` when they differ: the body of every plain observable
// setter of the control state.
template <class Owner, class T, class Signal>
void assignAndNotify(Owner* owner, T& field, const T& value, Signal changed) {
    if (field == value)
        return;
    field = value;
    emit(owner->*changed)();
}

} // namespace zqt
