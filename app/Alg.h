#pragma once
// The run of one analysis task: the journal, the task key and the stages in their order.

class Log;
class TBar;

class Alg {
public:
    // The bar belongs to the application; it may be null.
    explicit Alg(TBar* bar);

    // Performs the whole run; fails only by raising.
    void run();

private:
    // Stages 2 to 5: repository, sample, model, output and results.
    void runStages(Log& log, int key);

    TBar* bar;
};
