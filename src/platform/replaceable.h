#pragma once

// Gives a service class T one program-wide instance that tests can swap for a subclass of their own:
// `class UrlOpener : public Replaceable<UrlOpener>`. The real instance lives until the process ends.
template <typename T> class Replaceable
{
public:
    static T* current() { return replacement() ? replacement() : &real(); }
    // Replaces the instance (not owned); nullptr brings back the real one. Only tests call it.
    static void setCurrent(T* instance) { replacement() = instance; }

private:
    static T*& replacement()
    {
        static T* instance = nullptr;
        return instance;
    }
    static T& real()
    {
        static T instance;
        return instance;
    }
};
