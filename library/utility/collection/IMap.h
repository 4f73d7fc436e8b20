// IMapT: a collection keyed by unique map keys, ordered by Less.
// Thread-safety: that of the concrete map. Failure contract: as ICollectionT.
#pragma once

#include "library/utility/collection/SCollectionBase.h"

#include <cstddef>

namespace S
{

template <typename K, typename V, typename Less> class IMapT : public SCollectionBaseT<K, V>
{
public:
    // The number of entries erased: 0 or 1.
    virtual std::size_t RemoveKey(const K& key) = 0;
};

} // namespace S
