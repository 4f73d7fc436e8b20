// SResourceListT: an SListT guarded by a critical section. Every operation runs under the
// section, and each iterator holds it for its whole life, so a walk is atomic with respect to
// other threads. The holder of an iterator may still call the list: the section is recursive.
// Thread-safety: safe for concurrent use; release iterators promptly, since they block every
// other thread. Operations that walk a second locked collection hold both locks.
// Failure contract: as SListT.
#pragma once

#include "library/system/process/SCriticalSection.h"
#include "library/utility/collection/SList.h"

namespace S
{

template <typename V> class SResourceListT : public SListT<V>
{
public:
    using Base = SListT<V>;
    using Collection = typename Base::Collection;
    using Base::Assign;
    using Base::GetAt;
    using Base::Insert;
    using Base::Remove;
    using typename Base::IteratorPtr;
    using typename Base::ListIterator;

    // A list iterator that holds the list's critical section until it is destroyed.
    class ResourceListIterator : public ListIterator
    {
    public:
        using Iterator = typename Collection::Iterator;
        using ListIterator::IsEqual;
        using ListIterator::IsNotEqual;

        ResourceListIterator(const SResourceListT& list, typename ListIterator::Node node,
                             unsigned int position) noexcept
            : ListIterator(list, node, position), m_Lock(list.m_Section)
        {
        }

        virtual bool IsEqual(const ResourceListIterator& other) const
        {
            return ListIterator::IsEqual(static_cast<const Iterator&>(other));
        }
        virtual bool IsNotEqual(const ResourceListIterator& other) const { return !IsEqual(other); }

    private:
        // Holds the list's m_Section for the iterator's life.
        SAutoCriticalSection m_Lock;
    };

    SResourceListT() = default;
    SResourceListT(const SResourceListT&) = delete;
    SResourceListT& operator=(const SResourceListT&) = delete;
    ~SResourceListT() override { this->ClearOnDestroy(); }

    unsigned int GetCount() const override
    {
        SAutoCriticalSection lock(m_Section);
        return Base::GetCount();
    }
    bool IsEmpty() const override
    {
        SAutoCriticalSection lock(m_Section);
        return Base::IsEmpty();
    }
    void Clear() override
    {
        SAutoCriticalSection lock(m_Section);
        Base::Clear();
    }
    V* GetFront() override
    {
        SAutoCriticalSection lock(m_Section);
        return Base::GetFront();
    }
    V* GetBack() override
    {
        SAutoCriticalSection lock(m_Section);
        return Base::GetBack();
    }
    void PushFront(const V& value) override
    {
        SAutoCriticalSection lock(m_Section);
        Base::PushFront(value);
    }
    void PushBack(const V& value) override
    {
        SAutoCriticalSection lock(m_Section);
        Base::PushBack(value);
    }
    V& PopFront(V& out) override
    {
        SAutoCriticalSection lock(m_Section);
        return Base::PopFront(out);
    }
    V& PopBack(V& out) override
    {
        SAutoCriticalSection lock(m_Section);
        return Base::PopBack(out);
    }
    SResult Insert(SResult& result, const unsigned int& index, const V& value) override
    {
        SAutoCriticalSection lock(m_Section);
        return Base::Insert(result, index, value);
    }
    // The bulk operations keep the whole change atomic, not just each step of it.
    SResult Insert(SResult& result, const Collection& other) override
    {
        SAutoCriticalSection lock(m_Section);
        return Base::Insert(result, other);
    }
    SResult Remove(SResult& result, const Collection& other) override
    {
        SAutoCriticalSection lock(m_Section);
        return Base::Remove(result, other);
    }
    SResult Assign(SResult& result, const Collection& other) override
    {
        SAutoCriticalSection lock(m_Section);
        return Base::Assign(result, other);
    }
    void SpliceFront(Base& other) override
    {
        SAutoCriticalSection lock(m_Section);
        Base::SpliceFront(other);
    }
    void SpliceBack(Base& other) override
    {
        SAutoCriticalSection lock(m_Section);
        Base::SpliceBack(other);
    }

    IteratorPtr& CreateIterator(IteratorPtr& out) const override
    {
        SAutoCriticalSection lock(m_Section);
        return MakeLocked(out, this->FirstNode(), 0, 95);
    }
    IteratorPtr& CreateEndIterator(IteratorPtr& out) const override
    {
        SAutoCriticalSection lock(m_Section);
        return MakeLocked(out, this->EndNode(), Base::GetCount(), 104);
    }
    IteratorPtr& Find(IteratorPtr& out, const V& value) const override
    {
        SAutoCriticalSection lock(m_Section);
        const auto [node, position] = this->FindNode(value);
        return MakeLocked(out, node, position, 114);
    }

private:
    // Needs m_Section held: the node must not go before the new iterator holds the section too.
    IteratorPtr& MakeLocked(IteratorPtr& out, typename ListIterator::Node node, unsigned int position,
                            int line) const
    {
        return Base::template MakeIterator<ResourceListIterator>(
            out, *this, node, position, line, CollectionAssert::ResourceListSource,
            L"Iter != NULL. Message:\nOut of memory while creating Iterator: "
            L"SResourceListT<T>::ResourceListIterator");
    }

    // Guards every node of the list (the base's whole state), recursively.
    mutable SCriticalSection m_Section;
};

} // namespace S
