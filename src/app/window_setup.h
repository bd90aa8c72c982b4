#pragma once

#include <memory>

class AppContext;
class Form1;
class Form3;
class Form4;
class Form7;

// Every window of the program, made and wired in one place: the main window,
// the panel, the add-task dialog and the candidate window. No window makes
// another; each reaches the rest through the operations wired here. The
// windows live until this object goes, which happens before the context.
class AppWindows
{
public:
    explicit AppWindows(AppContext &ctx);
    ~AppWindows();
    AppWindows(const AppWindows &) = delete;
    AppWindows &operator=(const AppWindows &) = delete;

    Form1 *form1() const { return m_form1.get(); }
    Form3 *form3() const { return m_form3.get(); }
    Form4 *form4() const { return m_form4.get(); }
    Form7 *form7() const { return m_form7.get(); }

private:
    void wire();
    void wireCandidateWindow();

    AppContext &m_ctx;
    std::unique_ptr<Form1> m_form1;
    std::unique_ptr<Form3> m_form3;
    std::unique_ptr<Form4> m_form4;
    std::unique_ptr<Form7> m_form7;
};
