// KRSequence<T>: a doubly linked list with head and tail sentinels, and its
// iterator. Instructions, local data entries, interface descriptions and
// their entries are kept in such lists.
#ifndef BCODE_FOUNDATION_KRYSEQU_H
#define BCODE_FOUNDATION_KRYSEQU_H

#include <cstdint>
#include <istream>
#include <memory>
#include <new>
#include <ostream>
#include <type_traits>

#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krarenastore.h"
#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/kryflag.h"

// Error flag values of every list instantiation.
enum KRSequenceErrors : int {
  KRSEQUENCE_OK = 0,
  KRSEQUENCE_NO_LIST = 1,        // the list object could not be allocated while loading
  KRSEQUENCE_NO_ELEMENT = 2,     // an element was asked where there is none
  KRSEQUENCE_LOAD_FAILED = 3,    // short read, or an element's loader failed
  KRSEQUENCE_SAVE_FAILED = 4,    // short write, or an element's save failed
  KRSEQUENCE_LAYOUT_FAILED = 5,  // an element failed while its owner computed offsets
};

// Whether an element class carries an error flag of its own (getError()).
template <class E, class = void>
struct KRHasErrorFlag : std::false_type {};
template <class E>
struct KRHasErrorFlag<E, std::void_t<decltype(E::getError())>> : std::true_type {};

template <class T>
class KRSequenceIterator;

// A list a load fills is placed in its arena (krarena.h), as are its nodes.
template <class T>
class KRSequence : public KRArenaObject {
 public:
  using ERRORS = KRSequenceErrors;
  using Element = std::remove_pointer_t<T>;

  struct Node {
    T element;
    Node* prev;
    Node* next;
  };

  // The instantiation's error flag, one per thread. Constructing a list clears it.
  static ERRORS& errorStorage();
  static constexpr KRFlag<ERRORS> error{&errorStorage};

  KRSequence() {
    head_.element = T();
    tail_.element = T();
    head_.prev = &head_;
    head_.next = &tail_;
    tail_.prev = &head_;
    tail_.next = &tail_;
    error = KRSEQUENCE_OK;
  }
  KRSequence(const KRSequence&) = delete;
  KRSequence& operator=(const KRSequence&) = delete;
  virtual ~KRSequence() {
    clear();
    while (blocks_ != nullptr) {
      NodeBlock* older = blocks_->older;
      krArenaDelete(blocks_);
      blocks_ = older;
    }
  }

  // When these throw KRErrorNoHeap the element was not taken: the caller still owns it.
  void append(T element) { linkBetween(newNode(element, 630), tail_.prev, &tail_); }
  void prepend(T element) { linkBetween(newNode(element, 609), &head_, head_.next); }

  // Unlinks the first element and hands it back (it is not deleted); null and
  // error 2 on an empty list.
  T removeFirst() {
    if (isEmpty()) {
      error = KRSEQUENCE_NO_ELEMENT;
      return T();
    }
    Node* node = head_.next;
    head_.next = node->next;
    node->next->prev = &head_;
    ++generation;
    --count_;
    T element = node->element;
    releaseNode(node);
    return element;
  }

  // Removes every element, deleting it when the list owns its elements.
  void clear() {
    while (!isEmpty()) {
      T element = removeFirst();
      if (owner == 1) delete element;
    }
  }

  // Makes room for `more` elements in one block of nodes, so that appending
  // them allocates nothing; when memory runs out it makes no room and the
  // appends allocate as usual.
  void reserve(std::size_t more) {
    const std::size_t free = blocks_ == nullptr ? 0 : blocks_->size - blocks_->used;
    if (more <= free || freeNodes_ != nullptr) return;
    addBlock(static_cast<std::uint32_t>(more < kMaxCount ? more : kMaxCount), std::nothrow);
  }

  bool isEmpty() const { return head_.next == &tail_; }
  std::uint32_t getCount() const { return count_; }
  std::uint32_t getGeneration() const { return generation; }
  int getOwner() const { return owner; }
  void setOwner(int value) { owner = value; }

  const Node* headNode() const { return &head_; }
  const Node* tailNode() const { return &tail_; }

  // Writes the sequence record: the count, then every element from first to
  // last. `saveElement(os, element)` answers whether the element was written.
  // Sets `error` to 4 on failure (also for a list too long for its count).
  template <class SaveElement>
  bool saveRecord(std::ostream& os, SaveElement&& saveElement) const {
    if (count_ > 0xFFFF || !KRFieldWriter(os).u16(static_cast<std::uint16_t>(count_)).ok()) {
      return failSave();
    }
    for (const Node* n = head_.next; n != &tail_; n = n->next) {
      if (!saveElement(os, n->element)) return failSave();
    }
    return true;
  }

  // The sequence record with each element's own save; an element has failed
  // when its class's error flag is set afterwards.
  void save(std::ostream& os) const {
    saveRecord(os, [](std::ostream& out, T element) {
      element->save(out);
      if constexpr (KRHasErrorFlag<Element>::value) return Element::getError() == 0;
      return true;
    });
  }

  // Reads a sequence record, appending each element. `loadElement(is, T&)`
  // reads one and answers whether its loader succeeded. Sets `error` to 3 and
  // answers false on failure; elements read so far stay in the list.
  template <class LoadElement>
  bool loadRecord(std::istream& is, LoadElement&& loadElement) {
    KRFieldReader in(is);
    std::uint16_t total = 0;
    if (!in.u16(total).ok()) return failLoad();
    // Every element takes a byte of the record at least.
    const std::size_t room = in.remaining();
    reserve(total < room ? total : room);
    for (std::uint32_t i = 0; i < total; ++i) {
      T element = T();
      if (!loadElement(is, element)) {
        if (owner == 1) delete element;
        return failLoad();
      }
      appendOrDelete(element);
    }
    return true;
  }

 protected:
  std::uint32_t generation = 0;
  int owner = 1;

 private:
  friend class KRSequenceIterator<T>;

  // Appends a loaded element; if memory runs out the element is not lost.
  void appendOrDelete(T element) {
    try {
      append(element);
    } catch (...) {
      if (owner == 1) delete element;
      throw;
    }
  }

  // Nodes are carved from blocks the list owns, each twice the size of the
  // one before up to kMaxBlockNodes, so that a long list costs few
  // allocations; unlinked nodes wait in a free chain for reuse and all of
  // them go with the list.
  static constexpr std::uint32_t kFirstBlockNodes = 4;
  static constexpr std::uint32_t kMaxBlockNodes = 1024;
  static constexpr std::size_t kMaxCount = 0xFFFF;
  // A block of nodes is one piece of storage, its header in front of its
  // nodes, made where the list's elements are: in the block's arena while
  // a load fills the list.
  static_assert(std::is_trivially_destructible_v<Node>, "nodes are freed as bytes");
  struct NodeBlock {
    std::uint32_t size;
    std::uint32_t used;
    NodeBlock* older;
    Node* nodes() { return reinterpret_cast<Node*>(this + 1); }
  };
  static_assert(sizeof(NodeBlock) % alignof(Node) == 0 && kKRArenaFits<Node>,
                "nodes follow their header aligned");

  Node* newNode(T element, std::int32_t line) {
    Node* node = freeNodes_;
    if (node != nullptr) {
      freeNodes_ = node->next;
    } else {
      if (blocks_ == nullptr || blocks_->used == blocks_->size) addBlock(line);
      node = &blocks_->nodes()[blocks_->used++];
    }
    node->element = element;
    return node;
  }
  void addBlock(std::int32_t line) {
    const std::uint32_t size =
        blocks_ == nullptr ? kFirstBlockNodes
                           : (blocks_->size < kMaxBlockNodes ? blocks_->size * 2 : kMaxBlockNodes);
    if (!addBlock(size, std::nothrow)) throw KRErrorNoHeap("krysequ", line);
  }
  bool addBlock(std::uint32_t size, const std::nothrow_t&) {
    void* storage = krArenaTryNew(sizeof(NodeBlock) + std::size_t{size} * sizeof(Node));
    if (storage == nullptr) return false;
    auto* block = new (storage) NodeBlock{size, 0, blocks_};
    std::uninitialized_default_construct_n(block->nodes(), size);
    blocks_ = block;
    return true;
  }
  void releaseNode(Node* node) {
    node->element = T();
    node->next = freeNodes_;
    freeNodes_ = node;
  }
  void linkBetween(Node* node, Node* before, Node* after) {
    node->prev = before;
    node->next = after;
    before->next = node;
    after->prev = node;
    ++generation;
    ++count_;
  }
  static bool failSave() {
    error = KRSEQUENCE_SAVE_FAILED;
    return false;
  }
  static bool failLoad() {
    error = KRSEQUENCE_LOAD_FAILED;
    return false;
  }

  Node head_;
  Node tail_;
  std::uint32_t count_ = 0;
  NodeBlock* blocks_ = nullptr;  // newest first
  Node* freeNodes_ = nullptr;
};

template <class T>
KRSequenceErrors& KRSequence<T>::errorStorage() {
  static thread_local KRSequenceErrors flag = KRSEQUENCE_OK;
  return flag;
}

// A position in a list: on an element, or on the head or tail sentinel.
template <class T>
class KRSequenceIterator {
 public:
  using Node = typename KRSequence<T>::Node;

  // Direction 1 starts at the first element, any other value at the last.
  KRSequenceIterator(const KRSequence<T>& list, int direction)
      : list_(&list),
        generation_(list.getGeneration()),
        node_(direction == 1 ? list.head_.next : list.tail_.prev) {}

  // Back to the first element.
  void restart() {
    generation_ = list_->getGeneration();
    node_ = list_->head_.next;
  }

  KRSequenceIterator& operator++() {
    node_ = node_->next;
    return *this;
  }
  KRSequenceIterator& operator--() {
    node_ = node_->prev;
    return *this;
  }

  // The element here; null and the list's error 2 at a sentinel.
  T current() const {
    if (!onElement()) {
      KRSequence<T>::error = KRSEQUENCE_NO_ELEMENT;
      return T();
    }
    return node_->element;
  }

  bool end() const { return node_ == &list_->tail_; }
  bool atHead() const { return node_ == &list_->head_; }
  bool onElement() const { return !end() && !atHead(); }

  const KRSequence<T>& list() const { return *list_; }
  std::uint32_t generation() const { return generation_; }
  const Node* node() const { return node_; }

 private:
  const KRSequence<T>* list_;
  std::uint32_t generation_;
  const Node* node_;
};

#endif  // BCODE_FOUNDATION_KRYSEQU_H
