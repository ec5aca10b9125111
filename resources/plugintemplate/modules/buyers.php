<?php
/**
 * Buyers and their downloads, in two tables of the plugin's own.
 *
 * Why tables and not posts with meta: a buyer is looked up by the hash of a token, by a
 * payment's id and by a claim reference on every download and every payment message; with
 * meta each of those is an unindexed scan of meta_value across the whole site, and nothing
 * stops two concurrent messages for one payment from both getting in. Here each lookup is an
 * index, a payment's id is unique in the database itself, and the download log (one row per
 * download, growing without bound) stays out of the posts that WordPress loads, lists,
 * searches and exports. Buyers are no content of the site either: they must never show up in
 * queries, feeds or the REST API as posts can.
 *
 * Times are Unix seconds (UTC); 0 means "never" for the expiry and "not revoked" for the
 * revocation.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * The buyers table: one row for each buyer's access to one funnel, made by one payment (or by
 * hand).
 *
 * @return string
 */
function #prefix#_buyers_table() {
	return $GLOBALS['wpdb']->prefix . '#prefix#_buyers';
}

/**
 * The downloads table: one row for each delivery file sent to a buyer.
 *
 * @return string
 */
function #prefix#_downloads_table() {
	return $GLOBALS['wpdb']->prefix . '#prefix#_downloads';
}

/**
 * The schema version of the two tables; raised with each change to them.
 *
 * @return int
 */
function #prefix#_buyers_schema() {
	return 1;
}

/**
 * The option that holds the schema version the tables were last made with.
 *
 * @return string
 */
function #prefix#_buyers_schema_option() {
	return '#prefix#_buyers_db_version';
}

/**
 * The ways a buyer comes in.
 *
 * @return string[]
 */
function #prefix#_buyer_sources() {
	return array( 'paypal', 'stripe', 'manual', 'webhook' );
}

/**
 * Creates or upgrades the two tables with dbDelta, and makes the site's secret. Runs at
 * activation and whenever the stored schema version differs from the code's.
 */
function #prefix#_install_buyers() {
	require_once ABSPATH . 'wp-admin/includes/upgrade.php';
	#prefix#_ensure_secret();
	$charset   = $GLOBALS['wpdb']->get_charset_collate();
	$buyers    = #prefix#_buyers_table();
	$downloads = #prefix#_downloads_table();
	// dbDelta's own format: one column a line, two spaces after PRIMARY KEY, KEY not INDEX.
	dbDelta(
		array(
			"CREATE TABLE $buyers (
  id bigint(20) unsigned NOT NULL AUTO_INCREMENT,
  funnel_id bigint(20) unsigned NOT NULL,
  email varchar(100) NOT NULL DEFAULT '',
  source varchar(20) NOT NULL DEFAULT '',
  payment_id varchar(191) DEFAULT NULL,
  claim_ref varchar(191) NOT NULL DEFAULT '',
  token_hash char(64) NOT NULL,
  created bigint(20) unsigned NOT NULL DEFAULT 0,
  expires bigint(20) unsigned NOT NULL DEFAULT 0,
  revoked bigint(20) unsigned NOT NULL DEFAULT 0,
  PRIMARY KEY  (id),
  UNIQUE KEY token_hash (token_hash),
  UNIQUE KEY payment (source,payment_id),
  KEY funnel_email (funnel_id,email),
  KEY claim (funnel_id,claim_ref)
) $charset;",
			"CREATE TABLE $downloads (
  id bigint(20) unsigned NOT NULL AUTO_INCREMENT,
  buyer_id bigint(20) unsigned NOT NULL,
  funnel_id bigint(20) unsigned NOT NULL,
  file varchar(255) NOT NULL DEFAULT '',
  first_byte bigint(20) unsigned NOT NULL DEFAULT 0,
  bytes_sent bigint(20) unsigned NOT NULL DEFAULT 0,
  sent bigint(20) unsigned NOT NULL DEFAULT 0,
  PRIMARY KEY  (id),
  KEY buyer_file (buyer_id,file(191)),
  KEY funnel_sent (funnel_id,sent)
) $charset;",
		)
	);
	update_option( #prefix#_buyers_schema_option(), #prefix#_buyers_schema() );
}
register_activation_hook( dirname( __DIR__ ) . '/plugin.php', '#prefix#_install_buyers' );

/**
 * An update by upload replaces the plugin's files without activating it, and a network-wide
 * activation reaches only the main site: the tables are made or upgraded on the first request
 * that finds them behind.
 */
function #prefix#_maybe_install_buyers() {
	if ( (int) get_option( #prefix#_buyers_schema_option(), 0 ) !== #prefix#_buyers_schema() ) {
		#prefix#_install_buyers();
	}
}
add_action( 'init', '#prefix#_maybe_install_buyers', 1 );

/**
 * A buyer row with its numbers as numbers.
 *
 * @param array|null $row The row as the database gave it.
 * @return array|null
 */
function #prefix#_buyer_row( $row ) {
	if ( ! is_array( $row ) ) {
		return null;
	}
	foreach ( array( 'id', 'funnel_id', 'created', 'expires', 'revoked' ) as $field ) {
		$row[ $field ] = (int) $row[ $field ];
	}
	$row['payment_id'] = (string) $row['payment_id'];
	return $row;
}

/**
 * Adds a buyer with a new token, and returns the token: the one time it is known, since only
 * its hash is stored.
 *
 * @param int    $funnel_id  The funnel.
 * @param string $email      The buyer's e-mail address.
 * @param string $source     How the buyer came: paypal, stripe, manual or webhook.
 * @param string $payment_id The payment's id at its source; empty for none. Unique per source.
 * @param string $claim_ref  What ties the buyer's return from the payment to them (PayPal's
 *                           custom value, Stripe's Checkout Session id); empty for none.
 * @param int    $expires    When the access ends, in Unix seconds; 0 for never.
 * @param int    $now        The time of the purchase, in Unix seconds; 0 for now.
 * @return array|WP_Error array( 'id' => int, 'token' => string ), or an error "duplicate"
 *                        when the payment is known already, "source" or "database".
 */
function #prefix#_add_buyer( $funnel_id, $email, $source, $payment_id = '', $claim_ref = '', $expires = 0, $now = 0 ) {
	$wpdb = $GLOBALS['wpdb'];
	if ( ! in_array( $source, #prefix#_buyer_sources(), true ) ) {
		return new WP_Error( 'source', __( 'Unknown source of a buyer.', '#prefix#' ) );
	}
	$payment_id = substr( (string) $payment_id, 0, 191 );
	if ( '' !== $payment_id && #prefix#_buyer_by_payment( $source, $payment_id ) ) {
		return new WP_Error( 'duplicate', __( 'This payment has given access already.', '#prefix#' ) );
	}
	$token = #prefix#_new_token();
	$row   = array(
		'funnel_id'  => (int) $funnel_id,
		'email'      => substr( sanitize_email( $email ), 0, 100 ),
		'source'     => $source,
		'payment_id' => '' === $payment_id ? null : $payment_id,
		'claim_ref'  => substr( (string) $claim_ref, 0, 191 ),
		'token_hash' => #prefix#_token_hash( $token ),
		'created'    => $now ? (int) $now : time(),
		'expires'    => max( 0, (int) $expires ),
		'revoked'    => 0,
	);
	// Two messages for one payment at once: the unique key lets one in, the other fails quietly.
	$quiet = $wpdb->suppress_errors( true );
	$added = $wpdb->insert( #prefix#_buyers_table(), $row, array( '%d', '%s', '%s', '%s', '%s', '%s', '%d', '%d', '%d' ) ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery -- The plugin's own table, see the file's comment.
	$wpdb->suppress_errors( $quiet );
	if ( ! $added ) {
		if ( '' !== $payment_id && #prefix#_buyer_by_payment( $source, $payment_id ) ) {
			return new WP_Error( 'duplicate', __( 'This payment has given access already.', '#prefix#' ) );
		}
		return new WP_Error( 'database', __( 'The buyer could not be saved in the database.', '#prefix#' ) );
	}
	return array(
		'id'    => (int) $wpdb->insert_id,
		'token' => $token,
	);
}

/**
 * The buyer whose row a column's value picks, or null.
 *
 * @param string     $column One of id, token_hash.
 * @param int|string $value  The value.
 * @return array|null
 */
function #prefix#_buyer_where( $column, $value ) {
	$wpdb  = $GLOBALS['wpdb'];
	$table = #prefix#_buyers_table();
	if ( 'id' === $column ) {
		$row = $wpdb->get_row( $wpdb->prepare( "SELECT * FROM $table WHERE id = %d", (int) $value ), ARRAY_A ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- The plugin's own table, named by code; a buyer is read fresh on every check.
	} else {
		$row = $wpdb->get_row( $wpdb->prepare( "SELECT * FROM $table WHERE token_hash = %s", (string) $value ), ARRAY_A ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- As above.
	}
	return #prefix#_buyer_row( $row );
}

/**
 * A buyer by number, or null.
 *
 * @param int $buyer_id The buyer.
 * @return array|null
 */
function #prefix#_get_buyer( $buyer_id ) {
	return #prefix#_buyer_where( 'id', $buyer_id );
}

/**
 * The buyer whose link holds this token, or null; anything not shaped like a token finds
 * nobody. Revoked and expired buyers are found too: the caller tells them apart with
 * #prefix#_buyer_status().
 *
 * @param mixed $token The token from the request.
 * @return array|null
 */
function #prefix#_buyer_by_token( $token ) {
	return #prefix#_is_token( $token ) ? #prefix#_buyer_where( 'token_hash', #prefix#_token_hash( $token ) ) : null;
}

/**
 * The buyer a payment made, or null.
 *
 * @param string $source     The payment's source: paypal, stripe, manual or webhook.
 * @param string $payment_id The payment's id at that source.
 * @return array|null
 */
function #prefix#_buyer_by_payment( $source, $payment_id ) {
	$wpdb  = $GLOBALS['wpdb'];
	$table = #prefix#_buyers_table();
	if ( '' === (string) $payment_id ) {
		return null;
	}
	$row = $wpdb->get_row( $wpdb->prepare( "SELECT * FROM $table WHERE source = %s AND payment_id = %s", (string) $source, (string) $payment_id ), ARRAY_A ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- The plugin's own table, named by code; read fresh, a payment message may have just added the buyer.
	return #prefix#_buyer_row( $row );
}

/**
 * The newest buyer of a funnel whose payment carried this claim reference (PayPal's custom
 * value, Stripe's Checkout Session id), for the page a buyer returns to; null for none or an
 * empty reference.
 *
 * @param int    $funnel_id The funnel.
 * @param string $claim_ref The reference from the returning visitor's address.
 * @return array|null
 */
function #prefix#_buyer_by_claim( $funnel_id, $claim_ref ) {
	$wpdb  = $GLOBALS['wpdb'];
	$table = #prefix#_buyers_table();
	if ( ! is_string( $claim_ref ) || '' === $claim_ref ) {
		return null;
	}
	$row = $wpdb->get_row( $wpdb->prepare( "SELECT * FROM $table WHERE funnel_id = %d AND claim_ref = %s ORDER BY id DESC LIMIT 1", (int) $funnel_id, $claim_ref ), ARRAY_A ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- As above: the claim page asks again until the payment is in.
	return #prefix#_buyer_row( $row );
}

/**
 * A funnel's buyers, newest first, optionally only those whose e-mail address or payment id
 * contains the search text.
 *
 * @param int    $funnel_id The funnel.
 * @param string $search    The text to look for; empty for all.
 * @param int    $limit     How many at most.
 * @param int    $offset    How many to skip.
 * @return array[]
 */
function #prefix#_list_buyers( $funnel_id, $search = '', $limit = 50, $offset = 0 ) {
	$wpdb  = $GLOBALS['wpdb'];
	$table = #prefix#_buyers_table();
	if ( '' === (string) $search ) {
		$rows = $wpdb->get_results( $wpdb->prepare( "SELECT * FROM $table WHERE funnel_id = %d ORDER BY id DESC LIMIT %d OFFSET %d", (int) $funnel_id, max( 1, (int) $limit ), max( 0, (int) $offset ) ), ARRAY_A ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- The plugin's own table, named by code.
	} else {
		$like = '%' . $wpdb->esc_like( (string) $search ) . '%';
		$rows = $wpdb->get_results( $wpdb->prepare( "SELECT * FROM $table WHERE funnel_id = %d AND ( email LIKE %s OR payment_id LIKE %s ) ORDER BY id DESC LIMIT %d OFFSET %d", (int) $funnel_id, $like, $like, max( 1, (int) $limit ), max( 0, (int) $offset ) ), ARRAY_A ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- As above.
	}
	return array_map( '#prefix#_buyer_row', (array) $rows );
}

/**
 * Every buyer row that holds an e-mail address, across funnels, for the personal-data tools.
 *
 * @param string $email  The address.
 * @param int    $limit  How many at most.
 * @param int    $offset How many to skip.
 * @return array[]
 */
function #prefix#_buyers_by_email( $email, $limit = 50, $offset = 0 ) {
	$wpdb  = $GLOBALS['wpdb'];
	$table = #prefix#_buyers_table();
	$rows  = $wpdb->get_results( $wpdb->prepare( "SELECT * FROM $table WHERE email = %s ORDER BY id LIMIT %d OFFSET %d", (string) $email, max( 1, (int) $limit ), max( 0, (int) $offset ) ), ARRAY_A ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- The plugin's own table, named by code.
	return array_map( '#prefix#_buyer_row', (array) $rows );
}

/**
 * How many buyers a funnel has; with $active_only, those neither revoked nor expired.
 *
 * @param int  $funnel_id   The funnel.
 * @param bool $active_only Whether to count only buyers whose link works.
 * @return int
 */
function #prefix#_count_buyers( $funnel_id, $active_only = false ) {
	$wpdb  = $GLOBALS['wpdb'];
	$table = #prefix#_buyers_table();
	if ( $active_only ) {
		$count = $wpdb->get_var( $wpdb->prepare( "SELECT COUNT(*) FROM $table WHERE funnel_id = %d AND revoked = 0 AND ( expires = 0 OR expires > %d )", (int) $funnel_id, time() ) ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- The plugin's own table, named by code.
	} else {
		$count = $wpdb->get_var( $wpdb->prepare( "SELECT COUNT(*) FROM $table WHERE funnel_id = %d", (int) $funnel_id ) ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- As above.
	}
	return (int) $count;
}

/**
 * Whether a buyer's link works now: "active", or "revoked" (refunded, or taken back by the
 * owner) or "expired" (past the funnel's access time), revocation first.
 *
 * @param array $buyer A buyer row.
 * @param int   $now   The time to check against, in Unix seconds.
 * @return string
 */
function #prefix#_buyer_status( $buyer, $now ) {
	if ( ! empty( $buyer['revoked'] ) ) {
		return 'revoked';
	}
	if ( ! empty( $buyer['expires'] ) && (int) $buyer['expires'] <= (int) $now ) {
		return 'expired';
	}
	return 'active';
}

/**
 * Revokes a buyer: their link and file links stop working. Revoking twice keeps the first
 * time.
 *
 * @param int $buyer_id The buyer.
 * @param int $now      The time of revocation, in Unix seconds; 0 for now.
 * @return bool Whether a buyer was revoked by this call.
 */
function #prefix#_revoke_buyer( $buyer_id, $now = 0 ) {
	$wpdb  = $GLOBALS['wpdb'];
	$table = #prefix#_buyers_table();
	$done  = $wpdb->query( $wpdb->prepare( "UPDATE $table SET revoked = %d WHERE id = %d AND revoked = 0", $now ? (int) $now : time(), (int) $buyer_id ) ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- The plugin's own table, named by code; nothing of it is cached.
	return 1 === $done;
}

/**
 * Revokes the buyer a payment made, when the payment is refunded or reversed.
 *
 * @param string $source     The payment's source.
 * @param string $payment_id The payment's id at that source.
 * @return array|null The buyer as it was before, or null when no buyer has that payment.
 */
function #prefix#_revoke_payment( $source, $payment_id ) {
	$buyer = #prefix#_buyer_by_payment( $source, $payment_id );
	if ( $buyer ) {
		#prefix#_revoke_buyer( $buyer['id'] );
	}
	return $buyer;
}

/**
 * Gives a buyer a new token, for a link sent again: the old link stops working, since only
 * the token's hash is kept and the old token cannot be sent twice.
 *
 * @param int $buyer_id The buyer.
 * @return string The new token; empty when there is no such buyer.
 */
function #prefix#_renew_token( $buyer_id ) {
	$wpdb  = $GLOBALS['wpdb'];
	$token = #prefix#_new_token();
	$done  = $wpdb->update( #prefix#_buyers_table(), array( 'token_hash' => #prefix#_token_hash( $token ) ), array( 'id' => (int) $buyer_id ), array( '%s' ), array( '%d' ) ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching -- The plugin's own table; nothing of it is cached.
	return 1 === $done ? $token : '';
}

/**
 * Deletes a buyer and their download log.
 *
 * @param int $buyer_id The buyer.
 * @return bool Whether there was such a buyer.
 */
function #prefix#_delete_buyer( $buyer_id ) {
	$wpdb = $GLOBALS['wpdb'];
	$wpdb->delete( #prefix#_downloads_table(), array( 'buyer_id' => (int) $buyer_id ), array( '%d' ) ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching -- The plugin's own table; nothing of it is cached.
	return 1 === $wpdb->delete( #prefix#_buyers_table(), array( 'id' => (int) $buyer_id ), array( '%d' ) ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching -- As above.
}

/**
 * A funnel deleted for good takes its buyers and their download logs with it: their links
 * lead nowhere any more, and the addresses would be kept for nothing.
 *
 * @param int $post_id The post being deleted.
 */
function #prefix#_forget_funnel_buyers( $post_id ) {
	$wpdb = $GLOBALS['wpdb'];
	if ( #prefix#_post_type() !== get_post_type( $post_id ) ) {
		return;
	}
	$wpdb->delete( #prefix#_downloads_table(), array( 'funnel_id' => (int) $post_id ), array( '%d' ) ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching -- The plugin's own table; nothing of it is cached.
	$wpdb->delete( #prefix#_buyers_table(), array( 'funnel_id' => (int) $post_id ), array( '%d' ) ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching -- As above.
}
add_action( 'before_delete_post', '#prefix#_forget_funnel_buyers' );

/**
 * Logs one delivery file sent to a buyer.
 *
 * @param int    $buyer_id   The buyer.
 * @param int    $funnel_id  The funnel.
 * @param string $file       The delivery file's name.
 * @param int    $bytes_sent How many bytes went out.
 * @param int    $first_byte Where the request began in the file: 0 for a download from the
 *                           start, more for a resumed one.
 * @param int    $now        The time, in Unix seconds; 0 for now.
 * @return bool
 */
function #prefix#_log_download( $buyer_id, $funnel_id, $file, $bytes_sent, $first_byte = 0, $now = 0 ) {
	$row = array(
		'buyer_id'   => (int) $buyer_id,
		'funnel_id'  => (int) $funnel_id,
		'file'       => substr( (string) $file, 0, 255 ),
		'first_byte' => max( 0, (int) $first_byte ),
		'bytes_sent' => max( 0, (int) $bytes_sent ),
		'sent'       => $now ? (int) $now : time(),
	);
	return (bool) $GLOBALS['wpdb']->insert( #prefix#_downloads_table(), $row, array( '%d', '%d', '%s', '%d', '%d', '%d' ) ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery -- The plugin's own table.
}

/**
 * Whether a buyer may have a file again, by what they have had of it: fewer downloads from its
 * start than the limit, and fewer bytes than that many whole downloads hold (so ranges that
 * never begin at the first byte count too). A limit of 0 allows any number; a file of 0 bytes
 * is counted by downloads only. #prefix#_reserve_download() asks the same in SQL.
 *
 * @param int $used  Downloads of the file from its first byte.
 * @param int $sent  Bytes of the file sent or on their way.
 * @param int $limit Downloads allowed of each file; 0 for no limit.
 * @param int $size  The file's size in bytes.
 * @return bool
 */
function #prefix#_download_allowed( $used, $sent, $limit, $size ) {
	return $limit <= 0 || ( $used < $limit && ( $size <= 0 || $sent < $limit * $size ) );
}

/**
 * Counts a download before its first byte goes out, in one statement that adds its row only
 * while #prefix#_download_allowed() still holds, so requests at the same moment cannot each
 * find one download left. The buyer's row is locked around it, so the buyer's requests take
 * turns whatever isolation level the database runs at; a request the database turned back
 * (a deadlock) asks again. The row holds the bytes the request asks for until the streamer
 * reports what went out.
 *
 * @param array  $buyer      The buyer (id and funnel_id).
 * @param string $file       The delivery file's name.
 * @param int    $first_byte Where the request begins in the file; 0 counts as a download.
 * @param int    $bytes      How many bytes the request asks for.
 * @param int    $limit      Downloads allowed of each file; 0 for no limit.
 * @param int    $size       The file's size in bytes.
 * @return int The download's row; 0 when the buyer has none left (or the database failed).
 */
function #prefix#_reserve_download( $buyer, $file, $first_byte, $bytes, $limit, $size ) {
	$wpdb   = $GLOBALS['wpdb'];
	$table  = #prefix#_downloads_table();
	$file   = substr( (string) $file, 0, 255 );
	$cap    = $limit > 0 && $size > 0 ? $limit * $size : PHP_INT_MAX;
	$limit  = $limit > 0 ? (int) $limit : PHP_INT_MAX;
	$buyers = #prefix#_buyers_table();
	for ( $attempt = 0; $attempt < 5; $attempt++ ) {
		$quiet = $wpdb->suppress_errors( true );
		$wpdb->query( 'START TRANSACTION' ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching -- Holds the lock below until the row is added.
		$wpdb->get_var( $wpdb->prepare( "SELECT id FROM $buyers WHERE id = %d FOR UPDATE", (int) $buyer['id'] ) ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- The plugin's own table, named by code; a lock, not a read.
		$added = $wpdb->query( $wpdb->prepare( "INSERT INTO $table (buyer_id, funnel_id, file, first_byte, bytes_sent, sent) SELECT %d, %d, %s, %d, %d, %d FROM DUAL WHERE ( SELECT COUNT(*) FROM $table WHERE buyer_id = %d AND file = %s AND first_byte = 0 ) < %d AND ( SELECT COALESCE( SUM( bytes_sent ), 0 ) FROM $table WHERE buyer_id = %d AND file = %s ) < %d", (int) $buyer['id'], (int) $buyer['funnel_id'], $file, max( 0, (int) $first_byte ), max( 0, (int) $bytes ), time(), (int) $buyer['id'], $file, $limit, (int) $buyer['id'], $file, $cap ) ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- The plugin's own table, named by code; the check and the count must be one statement.
		$row   = 1 === $added ? (int) $wpdb->insert_id : 0;
		$done  = false !== $added && false !== $wpdb->query( 'COMMIT' ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching -- Ends the transaction begun above.
		if ( ! $done ) {
			$wpdb->query( 'ROLLBACK' ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching -- As above.
		}
		$wpdb->suppress_errors( $quiet );
		if ( $done ) {
			return $row;
		}
		usleep( wp_rand( 10000, 50000 ) );
	}
	return 0;
}

/**
 * Logs a delivery file once the streamer has sent it, when the request was a buyer's: the
 * streamer's context names the buyer ("buyer_id"), the funnel ("funnel_id"), where the
 * request began in the file ("first_byte") and the download's row counted before the first
 * byte ("download_id"), which now gets the bytes that really went out.
 *
 * @param string $name       The delivery file's name.
 * @param int    $bytes_sent How many bytes went out.
 * @param array  $context    What the caller of the streamer passed along.
 */
function #prefix#_log_delivery( $name, $bytes_sent, $context = array() ) {
	if ( ! is_array( $context ) || empty( $context['buyer_id'] ) ) {
		return;
	}
	if ( ! empty( $context['download_id'] ) ) {
		$GLOBALS['wpdb']->update( #prefix#_downloads_table(), array( 'bytes_sent' => max( 0, (int) $bytes_sent ) ), array( 'id' => (int) $context['download_id'] ), array( '%d' ), array( '%d' ) ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching -- The plugin's own table; nothing of it is cached.
		return;
	}
	$first_byte = isset( $context['first_byte'] ) ? (int) $context['first_byte'] : 0;
	#prefix#_log_download( (int) $context['buyer_id'], isset( $context['funnel_id'] ) ? (int) $context['funnel_id'] : 0, $name, $bytes_sent, $first_byte );
}
add_action( '#prefix#_delivery_sent', '#prefix#_log_delivery', 10, 3 );

/**
 * How many times a buyer has downloaded each delivery file. A download counts when its
 * request began at the file's first byte; resuming it (a range further in) does not count
 * again.
 *
 * @param int $buyer_id The buyer.
 * @return int[] File name => downloads; files never downloaded are left out.
 */
function #prefix#_downloads_used( $buyer_id ) {
	$wpdb  = $GLOBALS['wpdb'];
	$table = #prefix#_downloads_table();
	$rows  = $wpdb->get_results( $wpdb->prepare( "SELECT file, COUNT(*) AS used FROM $table WHERE buyer_id = %d AND first_byte = 0 GROUP BY file", (int) $buyer_id ), ARRAY_A ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- The plugin's own table, named by code; counted fresh before every download.
	$used  = array();
	foreach ( (array) $rows as $row ) {
		$used[ $row['file'] ] = (int) $row['used'];
	}
	return $used;
}

/**
 * What a buyer has had of one delivery file: the downloads that began at its first byte, and
 * the bytes sent, ranges included. One query, for the check before each download.
 *
 * @param int    $buyer_id The buyer.
 * @param string $file     The delivery file's name.
 * @return int[] array( downloads, bytes ).
 */
function #prefix#_file_usage( $buyer_id, $file ) {
	$wpdb  = $GLOBALS['wpdb'];
	$table = #prefix#_downloads_table();
	$row   = $wpdb->get_row( $wpdb->prepare( "SELECT SUM(first_byte = 0) AS used, SUM(bytes_sent) AS bytes FROM $table WHERE buyer_id = %d AND file = %s", (int) $buyer_id, (string) $file ), ARRAY_A ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- The plugin's own table, named by code; counted fresh before every download.
	return array( (int) ( $row['used'] ?? 0 ), (int) ( $row['bytes'] ?? 0 ) );
}

/**
 * A buyer's download log, newest first.
 *
 * @param int $buyer_id The buyer.
 * @param int $limit    How many at most.
 * @return array[] Rows of file, first_byte, bytes_sent and sent.
 */
function #prefix#_download_log( $buyer_id, $limit = 100 ) {
	$wpdb  = $GLOBALS['wpdb'];
	$table = #prefix#_downloads_table();
	$rows  = $wpdb->get_results( $wpdb->prepare( "SELECT file, first_byte, bytes_sent, sent FROM $table WHERE buyer_id = %d ORDER BY id DESC LIMIT %d", (int) $buyer_id, max( 1, (int) $limit ) ), ARRAY_A ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- The plugin's own table, named by code.
	return (array) $rows;
}

/**
 * How many downloads a funnel has had, counted as in #prefix#_downloads_used().
 *
 * @param int $funnel_id The funnel.
 * @return int
 */
function #prefix#_count_downloads( $funnel_id ) {
	$wpdb  = $GLOBALS['wpdb'];
	$table = #prefix#_downloads_table();
	return (int) $wpdb->get_var( $wpdb->prepare( "SELECT COUNT(*) FROM $table WHERE funnel_id = %d AND first_byte = 0", (int) $funnel_id ) ); // phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching, WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- The plugin's own table, named by code.
}

/**
 * The query argument of a buyer's link that holds the token.
 *
 * @return string
 */
function #prefix#_token_arg() {
	return '#prefix#_t';
}

/**
 * A buyer's own link to a funnel: the funnel's address, made from its number as the keyed
 * addresses are, with the buyer's token.
 *
 * @param int    $post_id The funnel.
 * @param string $token   The buyer's token.
 * @return string
 */
function #prefix#_buyer_url( $post_id, $token ) {
	$query = array(
		'post_type' => #prefix#_post_type(),
		'p'         => (int) $post_id,
	);
	return add_query_arg( $query + array( #prefix#_token_arg() => rawurlencode( (string) $token ) ), home_url( '/' ) );
}
