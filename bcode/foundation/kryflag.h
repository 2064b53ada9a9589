// KRFlag<E>: the public `error` member of every container instantiation. It
// reads and writes a per-thread flag kept by one function of the
// instantiation, so that the library and every program using it share one
// flag per instantiation and thread.
#ifndef BCODE_FOUNDATION_KRYFLAG_H
#define BCODE_FOUNDATION_KRYFLAG_H

template <class E>
class KRFlag {
 public:
  using Storage = E& (*)();

  constexpr explicit KRFlag(Storage storage) : storage_(storage) {}

  operator E() const { return storage_(); }  // NOLINT(google-explicit-constructor)
  const KRFlag& operator=(E value) const {
    storage_() = value;
    return *this;
  }

 private:
  Storage storage_;
};

#endif  // BCODE_FOUNDATION_KRYFLAG_H
