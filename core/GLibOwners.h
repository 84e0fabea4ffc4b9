// Owners for what GLib hands out by id or by reference: a main-loop source, an IO channel, any
// GObject. Each releases what it holds when it goes or is reset, and cannot be copied, so that
// nothing is released twice and no window or model writes its teardown by hand.
#pragma once

#include <glib-object.h>

#include <utility>

// Owns one GLib source of the default main context by its id; 0 is none.
class Source {
public:
  Source() = default;
  explicit Source(guint id) : id(id) {}
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;
  ~Source() { reset(); }

  // Removes the source held, if any, and holds `newId` instead.
  void reset(guint newId = 0) {
    if (id != 0)
      g_source_remove(id);
    id = newId;
  }
  // Forgets the source without removing it: for a callback that returns FALSE and so ends its
  // own source.
  void forget() { id = 0; }
  guint get() const { return id; }
  explicit operator bool() const { return id != 0; }

private:
  guint id = 0;
};

// Owns one reference to a GIOChannel.
class Channel {
public:
  Channel() = default;
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;
  ~Channel() { reset(); }

  void reset(GIOChannel* newChannel = nullptr) {
    if (channel != nullptr)
      g_io_channel_unref(channel);
    channel = newChannel;
  }
  GIOChannel* get() const { return channel; }
  explicit operator bool() const { return channel != nullptr; }

private:
  GIOChannel* channel = nullptr;
};

// Owns one reference to a GObject of type T (GtkBuilder, GdkPixbuf, ...). `adopt` takes over a
// reference the caller already holds (what a *_new function returns); `share` adds one.
template <typename T> class ObjectRef {
public:
  ObjectRef() = default;
  ObjectRef(const ObjectRef&) = delete;
  ObjectRef& operator=(const ObjectRef&) = delete;
  ObjectRef(ObjectRef&& other) noexcept : object(std::exchange(other.object, nullptr)) {}
  ObjectRef& operator=(ObjectRef&& other) noexcept {
    if (this != &other)
      reset(std::exchange(other.object, nullptr));
    return *this;
  }
  ~ObjectRef() { reset(); }

  static ObjectRef adopt(T* object) {
    ObjectRef ref;
    ref.object = object;
    return ref;
  }
  static ObjectRef share(T* object) {
    if (object != nullptr)
      g_object_ref(object);
    return adopt(object);
  }

  // Drops the reference held, if any, and takes over `newObject`'s reference.
  void reset(T* newObject = nullptr) {
    T* old = std::exchange(object, newObject);
    if (old != nullptr)
      g_object_unref(old);
  }
  T* get() const { return object; }
  T* operator->() const { return object; }
  explicit operator bool() const { return object != nullptr; }

private:
  T* object = nullptr;
};
