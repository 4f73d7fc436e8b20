// ICollectionT: the one interface behind every list and map of the library, with its iterator.
// Code walks, compares, copies and searches any collection through it. Keys are positions
// (lists) or map keys (maps). Iterators are handed out as shared pointers.
// Thread-safety: none of its own; SResourceListT adds a lock, the others leave it to callers.
// Failure contract: fallible operations write their code to the SResult out-parameter and return
// it; an out-parameter for an element is left untouched on failure.
#pragma once

#include "library/diagnostics/SResultCodes.h"
#include "library/utility/collection/IIterator.h"
#include "library/utility/SSmartPtr.h"

namespace S
{

template <typename K, typename V> class ICollectionT
{
public:
    class Iterator : public IIterator
    {
    public:
        // Both forms give the same element; after Remove() a shared empty element stands in for
        // the one that follows.
        virtual V* GetValue() = 0;
        virtual const V* GetValue() const = 0;
        // Lists: the position; maps: the key.
        virtual K GetKey() = 0;
        virtual K GetKey() const = 0;
        // The iterator then stands on the following element without having moved: the next
        // Next() counts one step but stays there.
        virtual bool Remove() = 0;
        virtual bool InsertBefore(const V& value) = 0;
        virtual bool InsertAfter(const V& value) = 0;
        // True for an iterator that walks backwards; none here does.
        virtual bool IsReverse() const noexcept { return false; }
        // Start at the current element; stop at the first one the collection's
        // AreElementsEqual accepts.
        virtual bool FindNext(const V& value, bool compareValues) = 0;
        virtual bool FindPrev(const V& value, bool compareValues) = 0;
        virtual bool SeekKey(const K& key) = 0;
        virtual bool SeekKeyBackward(const K& key) = 0;
        // The same object, or the same collection, node and pending-removal state.
        virtual bool IsEqual(const Iterator& other) const = 0;
        virtual bool IsNotEqual(const Iterator& other) const { return !IsEqual(other); }
    };

    using IteratorPtr = SSmartPtrT<Iterator*, 0, 1>;
    // Turns a source element into the element to store; may fill `buffer` and return it.
    using CopyElementFunc = const V& (*)(V& buffer, const V& source);

    ICollectionT() = default;
    ICollectionT(const ICollectionT&) = delete;
    ICollectionT& operator=(const ICollectionT&) = delete;
    virtual ~ICollectionT() = default;

    // The standard container behind the collection.
    virtual const void* GetStorage() const = 0;
    // True when a and b are the same object, or compareValues and *a == *b.
    virtual bool AreElementsEqual(const V* a, const V* b, bool compareValues) const = 0;
    virtual bool IsEqual(const ICollectionT& other) const = 0;
    virtual bool IsNotEqual(const ICollectionT& other) const = 0;
    // Lexicographic by V's own order; a proper prefix is less.
    virtual bool IsLess(const ICollectionT& other) const = 0;
    virtual bool IsGreaterOrEqual(const ICollectionT& other) const = 0;
    virtual bool IsGreater(const ICollectionT& other) const = 0;
    virtual bool IsLessOrEqual(const ICollectionT& other) const = 0;
    // The element by value; asserts and gives an empty element when there is none.
    virtual V GetAt(const K& key) const = 0;
    virtual SResult Insert(SResult& result, const ICollectionT& other) = 0;
    // With this collection itself as `other`, empties it.
    virtual SResult Remove(SResult& result, const ICollectionT& other) = 0;
    // Replaces the contents by `other`'s, passing each element through the copy hook when set.
    virtual SResult Assign(SResult& result, const ICollectionT& other) = 0;
    virtual unsigned int GetCount() const = 0;
    virtual bool IsEmpty() const = 0;
    virtual void Clear() = 0;
    // Lists: insert at a position (the count appends); maps: insert a new key.
    virtual SResult Insert(SResult& result, const K& key, const V& value) = 0;
    virtual SResult InsertBefore(SResult& result, const V& existing, const V& value) = 0;
    virtual SResult InsertAfter(SResult& result, const V& existing, const V& value) = 0;
    // `removed`, when given, receives the removed element.
    virtual SResult Remove(SResult& result, const V& value, V* removed) = 0;
    // Copies the element at `key` into `*out` when `out` is given.
    virtual SResult GetAt(SResult& result, const K& key, V* out) const = 0;
    virtual bool ContainsAll(const ICollectionT& other, bool compareValues) const = 0;
    virtual bool Contains(const V& value, bool compareValues) const = 0;
    // The factories are const so that any collection can be walked; an iterator can still change
    // the collection it came from, so callers holding a const collection only read through it.
    virtual IteratorPtr& CreateIterator(IteratorPtr& out) const = 0;
    virtual IteratorPtr& CreateEndIterator(IteratorPtr& out) const = 0;
    virtual IteratorPtr& FindValue(IteratorPtr& out, const V& value) const = 0;
    virtual IteratorPtr& FindKey(IteratorPtr& out, const K& key) const = 0;
    // Called for each element that Clear() and Remove(other) of the base remove.
    virtual void ReleaseElement(V& value) = 0;
    virtual bool IsValid() const = 0;

    // Whether the destructor empties the collection (it does unless told otherwise).
    void SetClearOnDestroy(bool clear) noexcept { m_ClearOnDestroy = clear ? 1 : 0; }
    void SetCopyElement(CopyElementFunc copy) noexcept { m_CopyElement = copy; }

protected:
    // Run by each concrete destructor: Clear() happens exactly once, at the most derived level
    // that still has a working Clear().
    void ClearOnDestroy()
    {
        if (m_ClearOnDestroy != 0 && m_Cleared == 0)
        {
            Clear();
            m_Cleared = 1;
        }
    }

    unsigned int m_ClearOnDestroy = 1;
    unsigned int m_Cleared = 0;
    CopyElementFunc m_CopyElement = nullptr;
};

// The element an iterator yields while it stands between a removal and the next step.
// Shared and value-initialised; callers must not write to it.
template <typename V> V& SharedEmptyElement()
{
    static V empty{};
    return empty;
}

} // namespace S
