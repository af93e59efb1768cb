#pragma once

#include <QAtomicPointer>
#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

// Keeps the one process-wide object of T (the user session, the data cycle, the network status).
//
// The object is created on first use under a mutex, with a second check after locking, as a child of the
// application object, so that it lives for the whole run. Created off the application's thread, it is
// moved there without a parent, because its signals are meant for that thread. reset() deletes it so that
// tests can start from a fresh object; an object deleted any other way (with the application) is forgotten
// as well, so instance() never hands out a dangling pointer.
template <typename T> class CSingleton
{
public:
    static T* instance()
    {
        T* object = s_object.loadAcquire();
        if (object)
            return object;
        QMutexLocker locker(&s_mutex);
        object = s_object.loadRelaxed();
        if (!object) {
            QCoreApplication* application = QCoreApplication::instance();
            const bool onApplicationThread = !application || QThread::currentThread() == application->thread();
            object = new T(onApplicationThread ? application : nullptr);
            if (!onApplicationThread)
                object->moveToThread(application->thread());
            QObject::connect(object, &QObject::destroyed, [object]() { s_object.testAndSetOrdered(object, nullptr); });
            s_object.storeRelease(object);
        }
        return object;
    }

    // Tests only: deletes the object; the next instance() creates a new one.
    static void reset()
    {
        QMutexLocker locker(&s_mutex);
        delete s_object.fetchAndStoreOrdered(nullptr);
    }

private:
    static inline QMutex s_mutex;
    static inline QAtomicPointer<T> s_object;
};
