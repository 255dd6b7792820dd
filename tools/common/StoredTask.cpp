#include "tools/common/StoredTask.h"

#include "core/Utils.h"
#include "repository/RepApi.h"
#include "runtime/Runtime.h"

StoredTask StoredTask::read(int key)
{
    try {
        return readTask(key);
    } catch (const SystemException&) {
        throw;
    } catch (const Exception& e) {
        throw Exception(Cp1251ToUtf8(e.text()));
    }
}

StoredTask StoredTask::readTask(int key)
{
    StoredTask task;
    task.key = key;
    RepApi repository(key);
    repository.intInputsAsReal = true;
    task.sample = repository.getTaskColumnsData();
    task.object = repository.getTaskInValues();
    DataPackPtr row = repository.reader().task();
    if (const ObjectPtr& name = row->find(CString("TskName")))
        task.name = Object::toText(name);
    repository.close();
    return task;
}
