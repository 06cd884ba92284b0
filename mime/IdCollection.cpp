#include "mime/IdCollection.h"

#include "mime/IdGlobal.h"
#include "smtp/IdException.h"

int TCollectionItem::Index() const
{
    return FCollection ? FCollection->IndexOf(*this) : -1;
}

TCollectionItem& TCollection::GetItem(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(Format(u"List index out of bounds (%d)", {std::int64_t(index)}));
    return *FItems[static_cast<std::size_t>(index)];
}

int TCollection::IndexOf(const TCollectionItem& item) const
{
    for (std::size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == &item)
            return static_cast<int>(i);
    return -1;
}

void TCollection::Delete(int index)
{
    GetItem(index); // range check
    // Detach first so that the item's destructor sees a consistent collection.
    std::unique_ptr<TCollectionItem> item = std::move(FItems[static_cast<std::size_t>(index)]);
    FItems.erase(FItems.begin() + index);
    item.reset();
}

void TCollection::Remove(const TCollectionItem& item)
{
    const int i = IndexOf(item);
    if (i >= 0)
        Delete(i);
}

void TCollection::Adopt(std::unique_ptr<TCollectionItem> item)
{
    item->FCollection = this;
    FItems.push_back(std::move(item));
}
