#pragma once

#include "platform/file_operation.h"

class QWidget;

// Placeholder until the engine lands: refuses every operation plainly.
class DesktopFileOperation : public FileOperation
{
public:
    explicit DesktopFileOperation(QWidget *dialogParent = nullptr);
    FileOpResult perform(const FileOpRecord &op) override;
    void cancelRunning() override {}
    bool isRunning() const override { return false; }
};
