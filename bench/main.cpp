// The benchmark driver: runs each timed part in turn.
void run_render_bench();

int main() {
  run_render_bench();
  return 0;
}
