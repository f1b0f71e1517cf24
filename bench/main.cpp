// The benchmark driver: runs each timed part in turn.
void run_render_bench();
void run_rules_bench();

int main() {
  run_render_bench();
  run_rules_bench();
  return 0;
}
