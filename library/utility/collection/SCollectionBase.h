// SCollectionBaseT: the operations every collection can do through its own iterators —
// comparisons, searches, bulk insert/remove/assign and value-based insertion. Concrete
// collections supply storage, counting, element access and the iterator factories.
// Thread-safety: that of the concrete collection; a walk over two locked collections holds both
// locks (this one's and other's), so two threads must not compare a with b and b with a at once.
// Failure contract: as ICollectionT; `removed` is untouched unless the removal succeeded.
#pragma once

#include "library/utility/collection/CollectionAssert.h"
#include "library/utility/collection/ICollection.h"

#include <utility>

namespace S
{

template <typename K, typename V> class SCollectionBaseT : public ICollectionT<K, V>
{
public:
    using Base = ICollectionT<K, V>;
    using Base::GetAt;
    using Base::Insert;
    using Base::Remove;
    using typename Base::IteratorPtr;

    bool AreElementsEqual(const V* a, const V* b, bool compareValues) const override
    {
        if (a == b)
            return true;
        return compareValues && a != nullptr && b != nullptr && *a == *b;
    }

    bool IsEqual(const Base& other) const override
    {
        if (&other == this)
            return true;
        if (this->GetCount() != other.GetCount())
            return false;
        IteratorPtr mit;
        IteratorPtr oit;
        if (!this->CreateIterator(mit) || !other.CreateIterator(oit))
            return false;
        while (!mit->IsAtEnd() && !oit->IsAtEnd())
        {
            if (!this->AreElementsEqual(mit->GetValue(), oit->GetValue(), true))
                return false;
            if (!StepBoth(*mit, *oit))
                return false;
        }
        return mit->IsAtEnd() && oit->IsAtEnd();
    }

    bool IsNotEqual(const Base& other) const override { return !IsEqual(other); }

    bool IsLess(const Base& other) const override
    {
        if (&other == this)
            return false;
        IteratorPtr mit;
        IteratorPtr oit;
        if (!this->CreateIterator(mit) || !other.CreateIterator(oit))
            return false;
        while (!mit->IsAtEnd() && !oit->IsAtEnd())
        {
            const V& mine = *mit->GetValue();
            const V& theirs = *oit->GetValue();
            if (!(mine == theirs))
                return mine < theirs;
            if (!StepBoth(*mit, *oit))
                return false;
        }
        return mit->IsAtEnd() && !oit->IsAtEnd();
    }

    bool IsGreaterOrEqual(const Base& other) const override { return !IsLess(other); }
    bool IsGreater(const Base& other) const override { return other.IsLess(*this); }
    bool IsLessOrEqual(const Base& other) const override { return !IsGreater(other); }

    V GetAt(const K& key) const override
    {
        V value{};
        SResult err;
        if (GetAt(err, key, &value).Failed())
        {
            CollectionAssert::Report(CollectionAssert::CollectionBaseSource, 307,
                                     L"err.IsSuccess(). Message:\nIndex is out of range");
            return V{};
        }
        return value;
    }

    SResult Insert(SResult& result, const Base& other) override
    {
        result = 0;
        IteratorPtr oit;
        if (!other.CreateIterator(oit))
            return result = kResultInsertFailed;
        while (!oit->IsAtEnd())
        {
            SResult one;
            if (Insert(one, oit->GetKey(), *oit->GetValue()).Failed() && result.Succeeded())
                result = one;
            if (!StepOther(*oit))
                break;
        }
        return result;
    }

    SResult Remove(SResult& result, const Base& other) override
    {
        result = 0;
        if (&other == this)
        {
            this->Clear();
            return result;
        }
        IteratorPtr oit;
        if (!other.CreateIterator(oit))
            return result = kResultElementNotFound;
        while (!oit->IsAtEnd())
        {
            IteratorPtr mit;
            if (this->FindValue(mit, *oit->GetValue()) && !mit->IsAtEnd())
            {
                this->ReleaseElement(*mit->GetValue());
                mit->Remove();
            }
            if (!StepOther(*oit))
                break;
        }
        return result;
    }

    SResult Assign(SResult& result, const Base& other) override
    {
        result = 0;
        if (&other == this)
            return result;
        this->Clear();
        IteratorPtr oit;
        if (!other.CreateIterator(oit))
            return result = kResultInsertFailed;
        while (!oit->IsAtEnd())
        {
            const V& source = *oit->GetValue();
            V buffer{};
            const V& stored = this->m_CopyElement != nullptr ? this->m_CopyElement(buffer, source) : source;
            // Lists key by position: other's position is this list's count, so this appends.
            SResult one;
            if (Insert(one, oit->GetKey(), stored).Failed() && result.Succeeded())
                result = one;
            if (!StepOther(*oit))
                break;
        }
        return result;
    }

    bool IsEmpty() const override { return this->GetCount() == 0; }

    // Removes element by element through an iterator, handing each to ReleaseElement first.
    void Clear() override
    {
        IteratorPtr it;
        if (!this->CreateIterator(it))
            return;
        while (!it->IsAtEnd())
        {
            this->ReleaseElement(*it->GetValue());
            it->Remove();
            it->Next(1);
        }
    }

    SResult InsertBefore(SResult& result, const V& existing, const V& value) override
    {
        IteratorPtr it;
        if (!this->FindValue(it, existing) || it->IsAtEnd())
            return result = kResultElementNotFound;
        return result = it->InsertBefore(value) ? SResult(0) : kResultInsertFailed;
    }

    SResult InsertAfter(SResult& result, const V& existing, const V& value) override
    {
        IteratorPtr it;
        if (!this->FindValue(it, existing) || it->IsAtEnd())
            return result = kResultElementNotFound;
        return result = it->InsertAfter(value) ? SResult(0) : kResultInsertFailed;
    }

    SResult Remove(SResult& result, const V& value, V* removed) override
    {
        IteratorPtr it;
        if (!this->FindValue(it, value) || it->IsAtEnd())
            return result = kResultElementNotFound;
        V copy = *it->GetValue();
        it->Remove();
        if (removed != nullptr)
            *removed = std::move(copy);
        return result = 0;
    }

    bool ContainsAll(const Base& other, bool compareValues) const override
    {
        if (other.GetCount() > this->GetCount())
            return false;
        IteratorPtr oit;
        if (!other.CreateIterator(oit))
            return false;
        while (!oit->IsAtEnd())
        {
            if (!Contains(*oit->GetValue(), compareValues))
                return false;
            if (!StepOther(*oit))
                return false;
        }
        return true;
    }

    bool Contains(const V& value, bool compareValues) const override
    {
        IteratorPtr it;
        return this->CreateIterator(it) && it->FindNext(value, compareValues);
    }

    IteratorPtr& FindValue(IteratorPtr& out, const V& value) const override
    {
        if (this->CreateIterator(out))
            out->FindNext(value, true);
        return out;
    }

    IteratorPtr& FindKey(IteratorPtr& out, const K& key) const override
    {
        if (this->CreateIterator(out))
            out->SeekKey(key);
        return out;
    }

    void ReleaseElement(V& /*value*/) override {}
    bool IsValid() const override { return true; }

private:
    using Iterator = typename Base::Iterator;

    static bool StepBoth(Iterator& mit, Iterator& oit)
    {
        if (mit.Next(1) != 1)
        {
            CollectionAssert::Report(CollectionAssert::CollectionBaseSource, 131,
                                     CollectionAssert::OwnStepFailed);
            return false;
        }
        return StepOther(oit);
    }

    static bool StepOther(Iterator& oit)
    {
        if (oit.Next(1) != 1)
        {
            CollectionAssert::Report(CollectionAssert::CollectionBaseSource, 137,
                                     CollectionAssert::OtherStepFailed);
            return false;
        }
        return true;
    }
};

} // namespace S
