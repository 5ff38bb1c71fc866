#include "base/FastSet.h"

#include "base/Contract.h"

FastSet::FastSet()
    : is_vec_rep(false), tree_(std::make_unique<std::set<int>>()), size_(0) {}

FastSet::~FastSet() = default;

bool FastSet::insert(const int& v) {
  GEN_CHECK(!is_vec_rep);
  return tree_->insert(v).second;
}

bool FastSet::find(const int& v) const {
  GEN_CHECK(!is_vec_rep);
  return tree_->count(v) != 0;
}

bool FastSet::empty() const {
  GEN_CHECK(!is_vec_rep);
  return tree_->empty();
}

void FastSet::NoMoreModifications() {
  GEN_CHECK(!is_vec_rep);
  size_ = static_cast<int>(tree_->size());
  if (size_ > 0) {
    array_ = std::make_unique<int[]>(static_cast<std::size_t>(size_));
    int i = 0;
    for (int v : *tree_) array_[i++] = v;
  }
  tree_.reset();
  is_vec_rep = true;
}

int& FastSet::operator[](int i) {
  GEN_CHECK(is_vec_rep);
  return array_[i];
}

int FastSet::size() const {
  GEN_CHECK(is_vec_rep);
  return size_;
}

void FastSet::clear() {
  if (is_vec_rep) {
    array_.reset();
    size_ = 0;
  } else {
    tree_->clear();
  }
}
