# Throwaway PostgreSQL cluster for the database tests (filled in by the repository work).
pg_cluster_start() { :; }
pg_cluster_stop() { :; }
