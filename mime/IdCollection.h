#pragma once
// Ordered collections that own their items.
//
// An item is created *with* a collection: the collection keeps the only owning
// pointer and the creator gets a non-owning reference. Destroying an item through
// its collection (Delete, Clear, or the collection's destruction) is the only way
// it dies; an item may also live on its own, outside any collection, in a
// std::unique_ptr of its owner.
//
//   auto& part = TCollection::Emplace<TIdText>(message.MessageParts());
//
// Emplace constructs T with the collection as first argument (so the constructor
// may look at its collection) and appends it.

#include <memory>
#include <utility>
#include <vector>

class TCollection;

class TCollectionItem {
public:
    explicit TCollectionItem(TCollection* collection) : FCollection(collection) {}
    virtual ~TCollectionItem() = default;
    TCollectionItem(const TCollectionItem&) = delete;
    TCollectionItem& operator=(const TCollectionItem&) = delete;

    TCollection* Collection() const { return FCollection; }
    // Position in the collection, -1 outside any.
    int Index() const;

private:
    friend class TCollection;
    TCollection* FCollection;
};

class TCollection {
public:
    TCollection() = default;
    virtual ~TCollection() = default;
    TCollection(const TCollection&) = delete;
    TCollection& operator=(const TCollection&) = delete;

    int Count() const { return static_cast<int>(FItems.size()); }
    TCollectionItem& GetItem(int index) const;
    int IndexOf(const TCollectionItem& item) const;

    // Destroys the item at index (or the given item) and removes it.
    void Delete(int index);
    void Remove(const TCollectionItem& item);
    void Clear() { FItems.clear(); }

    // Creates a T with this collection, appends it and returns it.
    template <class T, class... Args>
    static T& Emplace(TCollection& collection, Args&&... args)
    {
        auto item = std::make_unique<T>(&collection, std::forward<Args>(args)...);
        T& ref = *item;
        collection.Adopt(std::move(item));
        return ref;
    }

protected:
    // Takes ownership of an item created for this collection.
    void Adopt(std::unique_ptr<TCollectionItem> item);

private:
    std::vector<std::unique_ptr<TCollectionItem>> FItems;
};

// A collection whose items are all of (a class derived from) Item, with typed access.
template <class Item>
class TOwnedCollectionOf : public TCollection {
public:
    Item& Items(int index) const { return static_cast<Item&>(GetItem(index)); }
    Item& operator[](int index) const { return Items(index); }
};
