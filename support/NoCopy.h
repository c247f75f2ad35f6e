#pragma once
// A base for an object that owns something it must give back once (a
// handle, a hook, a lock, a folder): it can be neither copied nor assigned.
class CNoCopy {
public:
    CNoCopy(const CNoCopy&) = delete;
    CNoCopy& operator=(const CNoCopy&) = delete;

protected:
    CNoCopy() = default;
    ~CNoCopy() = default;
};
