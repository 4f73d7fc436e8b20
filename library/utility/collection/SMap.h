// SMapT: an ordered map behind ICollectionT/IMapT; iterators walk it in key order.
// LessCaseInsensitiveT orders string keys so that keys differing only in ASCII case are one key.
// Thread-safety: none; callers serialise.
// Failure contract: as ICollectionT; Lookup leaves `*out` untouched when the key is absent.
#pragma once

#include "library/utility/collection/IMap.h"

#include <map>
#include <new>
#include <utility>

namespace S
{

template <typename T> struct LessCaseInsensitiveT
{
    bool operator()(const T& a, const T& b) const { return a.CompareNoCase(b) < 0; }
};

template <typename K, typename V, typename Less> class SMapT : public IMapT<K, V, Less>
{
public:
    using Base = IMapT<K, V, Less>;
    using Collection = ICollectionT<K, V>;
    using typename Base::IteratorPtr;
    using Storage = std::map<K, V, Less>;
    using Base::GetAt;
    using Base::Insert;

    // Walks the map in key order; has no position and cannot insert.
    class MapIterator : public Collection::Iterator
    {
    public:
        using Iterator = typename Collection::Iterator;
        using Node = typename Storage::iterator;

        MapIterator(const SMapT& map, Node node) noexcept : m_pMap(const_cast<SMapT*>(&map)), m_Node(node) {}

        unsigned int Next(unsigned int count) override
        {
            if (count == 0)
                return 0;
            unsigned int steps = 0;
            if (m_NextAlready != 0)
            {
                m_NextAlready = 0;
                steps = 1;
            }
            for (; steps < count && m_Node != End(); ++steps)
                ++m_Node;
            return steps;
        }

        unsigned int Prev(unsigned int count) override
        {
            m_NextAlready = 0;
            unsigned int steps = 0;
            for (; steps < count && m_Node != Begin(); ++steps)
                --m_Node;
            return steps;
        }

        void MoveToEnd() override
        {
            m_Node = End();
            m_NextAlready = 0;
        }
        void MoveToFirst() override
        {
            m_Node = Begin();
            m_NextAlready = 0;
        }
        bool IsAtFirst() const override { return m_Node == Begin(); }
        bool IsAtEnd() const override { return m_Node == End() && m_NextAlready == 0; }

        V* GetValue() override { return Current(); }
        const V* GetValue() const override { return Current(); }
        K GetKey() override { return m_Node == End() ? K{} : m_Node->first; }
        K GetKey() const override { return m_Node == End() ? K{} : m_Node->first; }

        bool Remove() override
        {
            if (m_NextAlready != 0 || m_Node == End())
                return false;
            m_Node = m_pMap->m_Items.erase(m_Node);
            m_NextAlready = 1;
            return true;
        }

        bool InsertBefore(const V& /*value*/) override
        {
            CollectionAssert::Report(CollectionAssert::MapSource, 285, L"FALSE");
            return false;
        }
        bool InsertAfter(const V& /*value*/) override
        {
            CollectionAssert::Report(CollectionAssert::MapSource, 293, L"FALSE");
            return false;
        }

        bool FindNext(const V& value, bool compareValues) override
        {
            m_NextAlready = 0;
            for (; m_Node != End(); ++m_Node)
            {
                if (m_pMap->AreElementsEqual(&m_Node->second, &value, compareValues))
                    return true;
            }
            return false;
        }

        bool FindPrev(const V& value, bool compareValues) override
        {
            return WalkBack([&] { return m_pMap->AreElementsEqual(&m_Node->second, &value, compareValues); });
        }

        bool SeekKey(const K& key) override
        {
            m_NextAlready = 0;
            for (; m_Node != End(); ++m_Node)
            {
                if (SameKey(m_Node->first, key))
                    return true;
            }
            return false;
        }

        bool SeekKeyBackward(const K& key) override
        {
            return WalkBack([&] { return SameKey(m_Node->first, key); });
        }

        bool IsEqual(const Iterator& other) const override
        {
            if (&other == this)
                return true;
            const auto* map = dynamic_cast<const MapIterator*>(&other);
            return map != nullptr && map->m_pMap == m_pMap && map->m_NextAlready == m_NextAlready &&
                   map->m_Node == m_Node;
        }

    private:
        Node Begin() const noexcept { return m_pMap->m_Items.begin(); }
        Node End() const noexcept { return m_pMap->m_Items.end(); }

        V* Current() const
        {
            if (m_NextAlready != 0)
            {
                CollectionAssert::Report(CollectionAssert::MapSource, 267, L"m_NextAlready == FALSE");
                return &SharedEmptyElement<V>();
            }
            if (m_Node == End())
                return &SharedEmptyElement<V>();
            return &m_Node->second;
        }

        // Keys are the same when neither orders before the other.
        static bool SameKey(const K& a, const K& b)
        {
            const Less less;
            return !less(a, b) && !less(b, a);
        }

        // From the current entry (the last one when at the end) back to the first.
        template <typename Match> bool WalkBack(Match match)
        {
            m_NextAlready = 0;
            if (m_pMap->m_Items.empty())
                return false;
            if (m_Node == End())
                --m_Node;
            for (;;)
            {
                if (match())
                    return true;
                if (m_Node == Begin())
                    return false;
                --m_Node;
            }
        }

        SMapT* m_pMap;
        Node m_Node;
        unsigned int m_NextAlready = 0;
    };

    SMapT() = default;
    SMapT(std::initializer_list<std::pair<const K, V>> entries) : m_Items(entries) {}
    SMapT(const SMapT& other) : Base() { m_Items = other.m_Items; }
    SMapT& operator=(const SMapT& other)
    {
        if (&other != this)
            m_Items = other.m_Items;
        return *this;
    }
    ~SMapT() override { this->ClearOnDestroy(); }

    const void* GetStorage() const override { return &m_Items; }
    unsigned int GetCount() const override { return static_cast<unsigned int>(m_Items.size()); }
    void Clear() override { m_Items.clear(); }

    // 0 when added; kResultAlreadyExists when the key is already there (the stored value stays).
    SResult Insert(SResult& result, const K& key, const V& value) override
    {
        try
        {
            return result = m_Items.try_emplace(key, value).second ? SResult(0) : kResultAlreadyExists;
        }
        catch (const std::bad_alloc&)
        {
            return result = kResultInsertFailed;
        }
    }

    SResult GetAt(SResult& result, const K& key, V* out) const override
    {
        const auto found = m_Items.find(key);
        if (found == m_Items.end())
            return result = kResultElementNotFound;
        if (out != nullptr)
            *out = found->second;
        return result = 0;
    }

    // `*out`, when given, points to the stored value.
    SResult Lookup(SResult& result, const K& key, V** out)
    {
        const auto found = m_Items.find(key);
        if (found == m_Items.end())
            return result = kResultElementNotFound;
        if (out != nullptr)
            *out = &found->second;
        return result = 0;
    }
    SResult Lookup(SResult& result, const K& key, const V** out) const
    {
        const auto found = m_Items.find(key);
        if (found == m_Items.end())
            return result = kResultElementNotFound;
        if (out != nullptr)
            *out = &found->second;
        return result = 0;
    }

    IteratorPtr& CreateIterator(IteratorPtr& out) const override
    {
        return MakeIterator(out, Nodes().begin(), 336);
    }
    IteratorPtr& CreateEndIterator(IteratorPtr& out) const override
    {
        return MakeIterator(out, Nodes().end(), 343);
    }
    IteratorPtr& FindKey(IteratorPtr& out, const K& key) const override
    {
        return MakeIterator(out, Nodes().find(key), 336);
    }

    std::size_t RemoveKey(const K& key) override { return m_Items.erase(key); }

    // The typed view of GetStorage().
    const Storage& GetItems() const noexcept { return m_Items; }

private:
    Storage& Nodes() const noexcept { return const_cast<Storage&>(m_Items); }

    IteratorPtr& MakeIterator(IteratorPtr& out, typename Storage::iterator node, int line) const
    {
        out = IteratorPtr(new (std::nothrow) MapIterator(*this, node));
        if (!out)
            CollectionAssert::Report(
                CollectionAssert::MapSource, line,
                L"Iter != NULL. Message:\nOut of memory while creating Iterator: SMapKT::MapIterator");
        return out;
    }

    Storage m_Items;
};

} // namespace S
