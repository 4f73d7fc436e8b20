// IListT: a collection keyed by zero-based position, with the front/back operations of a list.
// Thread-safety: that of the concrete list.
// Failure contract: as ICollectionT; Pop* and Get* need a non-empty list (test IsEmpty() first).
#pragma once

#include "library/utility/collection/SCollectionBase.h"

namespace S
{

template <typename V> class IListT : public SCollectionBaseT<unsigned int, V>
{
public:
    using Base = SCollectionBaseT<unsigned int, V>;
    using Base::GetAt;
    using Base::Insert;
    using typename Base::IteratorPtr;

    // Position `index` (the count appends): 0, kResultIndexOutOfRange past the count, kResultInsertFailed
    // when the insertion itself failed.
    SResult Insert(SResult& result, const unsigned int& index, const V& value) override
    {
        IteratorPtr it;
        // Appending needs no walk: stepping `count` times from the first element ends there too.
        const bool append = index != 0 && index == this->GetCount();
        if (!(append ? this->CreateEndIterator(it) : this->CreateIterator(it)))
            return result = kResultInsertFailed;
        if (!append && index != 0 && it->Next(index) != index)
            return result = kResultIndexOutOfRange;
        return result = it->InsertBefore(value) ? SResult(0) : kResultInsertFailed;
    }

    SResult GetAt(SResult& result, const unsigned int& index, V* out) const override
    {
        if (index >= this->GetCount())
            return result = kResultIndexOutOfRange;
        IteratorPtr mit;
        if (!this->CreateIterator(mit))
            return result = kResultElementNotFound;
        for (unsigned int step = 0; step < index; ++step)
        {
            if (mit->Next(1) != 1)
            {
                CollectionAssert::Report(CollectionAssert::ListInterfaceSource, 61,
                                         CollectionAssert::OwnStepFailed);
                break;
            }
        }
        if (mit->IsAtEnd())
            return result = kResultElementNotFound;
        if (out != nullptr)
            *out = *mit->GetValue();
        return result = 0;
    }

    virtual V* GetFront() = 0;
    virtual V* GetBack() = 0;
    virtual void PushFront(const V& value) = 0;
    virtual void PushBack(const V& value) = 0;
    // Copy the element into `out`, then unlink it; return `out`.
    virtual V& PopFront(V& out) = 0;
    virtual V& PopBack(V& out) = 0;
};

} // namespace S
