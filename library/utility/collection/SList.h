// SListT: a doubly linked list behind ICollectionT/IListT. Positions are the keys.
// Thread-safety: none; callers serialise (SResourceListT is the locked form).
// Failure contract: as IListT. Splicing past the largest possible size throws std::length_error.
#pragma once

#include "library/utility/collection/IList.h"

#include <algorithm>
#include <iterator>
#include <list>
#include <new>
#include <stdexcept>

namespace S
{

template <typename V> class SListT : public IListT<V>
{
public:
    using Base = IListT<V>;
    using Collection = ICollectionT<unsigned int, V>;
    using typename Base::IteratorPtr;
    using Storage = std::list<V>;
    using Base::Assign;
    using Base::GetAt;
    using Base::Insert;
    using Base::Remove;

    // Walks the list by node; the position counts from 0 and equals the count at the end.
    class ListIterator : public Collection::Iterator
    {
    public:
        using Iterator = typename Collection::Iterator;
        using Node = typename Storage::iterator;

        ListIterator(const SListT& list, Node node, unsigned int position) noexcept
            : m_pList(const_cast<SListT*>(&list)), m_Node(node), m_Position(position)
        {
        }

        unsigned int Next(unsigned int count) override
        {
            if (count == 0)
                return 0;
            unsigned int steps = 0;
            // A removal already put the iterator on the following element.
            if (m_NextAlready != 0)
            {
                m_NextAlready = 0;
                steps = 1;
            }
            while (steps < count && m_Node != End())
            {
                ++m_Node;
                ++m_Position;
                ++steps;
            }
            return steps;
        }

        unsigned int Prev(unsigned int count) override
        {
            m_NextAlready = 0;
            unsigned int steps = 0;
            while (steps < count && m_Node != Begin())
            {
                --m_Node;
                --m_Position;
                ++steps;
            }
            return steps;
        }

        void MoveToEnd() override
        {
            m_Node = End();
            m_Position = m_pList->SListT::GetCount();
            m_NextAlready = 0;
        }

        void MoveToFirst() override
        {
            m_Node = Begin();
            m_Position = 0;
            m_NextAlready = 0;
        }

        bool IsAtFirst() const override { return m_Node == Begin(); }
        bool IsAtEnd() const override { return m_Node == End() && m_NextAlready == 0; }

        V* GetValue() override { return Current(); }
        const V* GetValue() const override { return Current(); }
        unsigned int GetKey() override { return m_Position; }
        unsigned int GetKey() const override { return m_Position; }

        bool Remove() override
        {
            if (m_NextAlready != 0 || m_Node == End())
                return false;
            m_Node = Items().erase(m_Node);
            m_NextAlready = 1;
            return true;
        }

        bool InsertBefore(const V& value) override
        {
            if (!InsertAt(m_Node, value))
                return false;
            ++m_Position;
            return true;
        }

        bool InsertAfter(const V& value) override
        {
            if (m_NextAlready != 0)
                return InsertBefore(value);
            if (m_Node == End())
                return false;
            return InsertAt(std::next(m_Node), value);
        }

        bool FindNext(const V& value, bool compareValues) override
        {
            m_NextAlready = 0;
            for (; m_Node != End(); ++m_Node, ++m_Position)
            {
                if (m_pList->AreElementsEqual(&*m_Node, &value, compareValues))
                    return true;
            }
            return false;
        }

        bool FindPrev(const V& value, bool compareValues) override
        {
            if (!StepOffEnd())
                return false;
            for (;;)
            {
                if (m_pList->AreElementsEqual(&*m_Node, &value, compareValues))
                    return true;
                if (m_Node == Begin())
                    return false;
                --m_Node;
                --m_Position;
            }
        }

        bool SeekKey(const unsigned int& key) override
        {
            m_NextAlready = 0;
            for (; m_Node != End(); ++m_Node, ++m_Position)
            {
                if (m_Position == key)
                    return true;
            }
            return false;
        }

        bool SeekKeyBackward(const unsigned int& key) override
        {
            if (!StepOffEnd())
                return false;
            for (;;)
            {
                if (m_Position == key)
                    return true;
                if (m_Node == Begin())
                    return false;
                --m_Node;
                --m_Position;
            }
        }

        bool IsEqual(const Iterator& other) const override
        {
            if (&other == this)
                return true;
            const auto* list = dynamic_cast<const ListIterator*>(&other);
            return list != nullptr && list->m_pList == m_pList && list->m_NextAlready == m_NextAlready &&
                   list->m_Node == m_Node;
        }

    private:
        Storage& Items() const noexcept { return m_pList->m_Items; }
        Node Begin() const noexcept { return Items().begin(); }
        Node End() const noexcept { return Items().end(); }

        V* Current() const
        {
            if (m_NextAlready != 0 || m_Node == End())
                return &SharedEmptyElement<V>();
            return &*m_Node;
        }

        bool InsertAt(Node where, const V& value)
        {
            try
            {
                Items().insert(where, value);
                return true;
            }
            catch (const std::bad_alloc&)
            {
                return false;
            }
        }

        // Backward walks start at the last element when the iterator stands at the end.
        bool StepOffEnd()
        {
            m_NextAlready = 0;
            if (Items().empty())
                return false;
            if (m_Node == End())
            {
                --m_Node;
                --m_Position;
            }
            return true;
        }

        SListT* m_pList;
        Node m_Node;
        unsigned int m_Position;
        unsigned int m_NextAlready = 0;
    };

    SListT() = default;
    SListT(const SListT& other) : Base()
    {
        SResult ignored;
        Assign(ignored, other);
    }
    SListT& operator=(const SListT& other)
    {
        SResult ignored;
        Assign(ignored, other);
        return *this;
    }
    ~SListT() override { this->ClearOnDestroy(); }

    const void* GetStorage() const override { return &m_Items; }
    unsigned int GetCount() const override { return static_cast<unsigned int>(m_Items.size()); }
    void Clear() override { m_Items.clear(); }

    IteratorPtr& CreateIterator(IteratorPtr& out) const override
    {
        return MakeIterator<ListIterator>(out, *this, Nodes().begin(), 0, 130);
    }
    IteratorPtr& CreateEndIterator(IteratorPtr& out) const override
    {
        return MakeIterator<ListIterator>(out, *this, Nodes().end(), SListT::GetCount(), 139);
    }

    V* GetFront() override { return &m_Items.front(); }
    V* GetBack() override { return &m_Items.back(); }
    void PushFront(const V& value) override { m_Items.push_front(value); }
    void PushBack(const V& value) override { m_Items.push_back(value); }
    V& PopFront(V& out) override
    {
        out = m_Items.front();
        m_Items.pop_front();
        return out;
    }
    V& PopBack(V& out) override
    {
        out = m_Items.back();
        m_Items.pop_back();
        return out;
    }

    // Moves every node of `other` here without copying; `other` ends empty.
    virtual void SpliceFront(SListT& other) { SpliceAt(m_Items.begin(), other); }
    virtual void SpliceBack(SListT& other) { SpliceAt(m_Items.end(), other); }
    virtual SResult Assign(SResult& result, const SListT& other)
    {
        return Assign(result, static_cast<const Collection&>(other));
    }
    // Iterator at the first element equal to `value`, else at the end.
    virtual IteratorPtr& Find(IteratorPtr& out, const V& value) const
    {
        const auto [node, position] = FindNode(value);
        return MakeIterator<ListIterator>(out, *this, node, position, 149);
    }

    // The typed view of GetStorage().
    const Storage& GetItems() const noexcept { return m_Items; }

protected:
    using Node = typename Storage::iterator;

    Node FirstNode() const noexcept { return Nodes().begin(); }
    Node EndNode() const noexcept { return Nodes().end(); }

    std::pair<Node, unsigned int> FindNode(const V& value) const
    {
        Storage& items = Nodes();
        const auto node = std::find(items.begin(), items.end(), value);
        return {node, static_cast<unsigned int>(std::distance(items.begin(), node))};
    }

    // Iterators are allocated without throwing; a failed allocation is reported and the smart
    // pointer is built around null.
    template <typename Iter, typename List>
    static IteratorPtr& MakeIterator(IteratorPtr& out, const List& list, Node node, unsigned int position,
                                     int line, const wchar_t* source = CollectionAssert::ListSource,
                                     const wchar_t* message = ListIteratorOutOfMemory)
    {
        out = IteratorPtr(new (std::nothrow) Iter(list, node, position));
        if (!out)
            CollectionAssert::Report(source, line, message);
        return out;
    }

    void SpliceAt(Node where, SListT& other)
    {
        if (&other == this)
            return;
        if (other.m_Items.size() > m_Items.max_size() - m_Items.size())
            throw std::length_error("list<T> too long");
        m_Items.splice(where, other.m_Items);
    }

private:
    static constexpr const wchar_t* ListIteratorOutOfMemory =
        L"Iter != NULL. Message:\nOut of memory while creating Iterator: SListT<T>::ListIterator";

    // Iterators reach the nodes of a const list; see ICollectionT for the factories' constness.
    Storage& Nodes() const noexcept { return const_cast<Storage&>(m_Items); }

    Storage m_Items;
};

} // namespace S
