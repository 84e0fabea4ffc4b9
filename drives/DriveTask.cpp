#include "DriveTask.h"

DriveTask::DriveTask(const std::string& kind, const Drive& drive) : kind_(kind), drive_(drive) {}

DriveTask::~DriveTask() = default;

void DriveTask::select() {}

void DriveTask::deselect() {}
