// An object that counts the live instances of its kind, for the owning pointers' tests.
#pragma once

namespace STest
{

struct Counted
{
    static inline int live = 0;
    int id;
    explicit Counted(int i = 0) : id(i) { ++live; }
    virtual ~Counted() { --live; }
    bool IsEqual(const Counted& other) const { return id == other.id; }
};

} // namespace STest
