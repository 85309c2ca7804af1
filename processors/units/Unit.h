#pragma once

// Base of the small signal-processing units: each yields its next sample from tick().
template <class T>
class Unit {
public:
    virtual ~Unit() = default;
    virtual T tick() = 0;
};
