// IIterator: the root of every iterator of the library: movement, position tests, identity.
// Thread-safety: an iterator belongs to the thread that created it; it refers to its collection
// without owning it and must not outlive it.
// Failure contract: nothing here fails; Next and Prev stop at the ends and return the steps taken.
#pragma once

namespace S
{

class IIterator
{
public:
    virtual ~IIterator() = default;
    // True for an iterator that can only read its collection; every iterator here can write.
    virtual bool IsReadOnly() const noexcept { return false; }
    // Both return the number of steps taken.
    virtual unsigned int Next(unsigned int count) = 0;
    virtual unsigned int Prev(unsigned int count) = 0;
    virtual void MoveToEnd() = 0;
    virtual void MoveToFirst() = 0;
    virtual bool IsAtFirst() const = 0;
    virtual bool IsAtEnd() const = 0;
    virtual bool IsSame(const IIterator* other) const noexcept { return other == this; }
    virtual bool IsNotSame(const IIterator* other) const noexcept { return !IsSame(other); }

protected:
    IIterator() = default;
    IIterator(const IIterator&) = default;
    IIterator& operator=(const IIterator&) = default;
};

} // namespace S
